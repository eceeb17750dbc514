// SPDX-License-Identifier: GPL-3.0-or-later
// Whether an output could be written, found out without a trace on disk.
#include "app/desktop/output_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace zorv::test {
namespace {

std::string Local(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

TEST(OutputCheck, NeitherCreatesNorChangesAnything) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString fresh = folder.filePath("fresh.wav");
  EXPECT_TRUE(CanCreateOutput(Local(fresh)));
  EXPECT_FALSE(QFileInfo::exists(fresh));

  const QString existing = folder.filePath("existing.wav");
  {
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep");
  }
  EXPECT_TRUE(CanCreateOutput(Local(existing)));
  QFile file(existing);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("keep"));
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"existing.wav"});
}

TEST(OutputCheck, WhatCannotBeWrittenIsSaidSo) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  EXPECT_FALSE(CanCreateOutput(""));
  EXPECT_EQ(CreateProblem(Local(folder.filePath("missing/out.wav"))), "No such file or directory");
  EXPECT_EQ(CreateProblem(Local(folder.path())), "Is a directory");
  EXPECT_FALSE(CanCreateOutput("/proc/zorv-out.wav"));
  // A named pipe that nobody reads: refused at once, not waited on.
  const QString pipe = folder.filePath("pipe.wav");
  ASSERT_EQ(::mkfifo(Local(pipe).c_str(), 0600), 0);
  EXPECT_EQ(CreateProblem(Local(pipe)), "No such device or address");
  // A link to nowhere is not followed to create its target.
  const QString target = folder.filePath("target.wav");
  ASSERT_TRUE(QFile::link(target, folder.filePath("link.wav")));
  EXPECT_FALSE(CanCreateOutput(Local(folder.filePath("link.wav"))));
  EXPECT_FALSE(QFileInfo::exists(target));
}

}  // namespace
}  // namespace zorv::test
