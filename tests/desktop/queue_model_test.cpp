// SPDX-License-Identifier: GPL-3.0-or-later
// The queue's rows without a window: which inputs become rows, the levels,
// and the answers about outputs that exist.
#include "app/desktop/queue_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zorv::test {
namespace {

// An earlier decode among the inputs is skipped, an input given twice is one
// row, and of two inputs with one proposed output the second is refused.
// Adding again keeps the waiting rows and lets the ended ones go.
TEST(QueueModel, RowsOfTheChosenInputs) {
  TQueueModel queue;
  queue.Add({"/t/a_dec.wav", "/t/a.wav", "/t/b.wav", "/t/./a.wav", "/t/c", "/t/c.wav"});
  ASSERT_EQ(queue.Size(), 5U);
  const auto& rows = queue.Rows();
  EXPECT_EQ(rows[0].State, TQueueState::Skipped);
  EXPECT_EQ(rows[0].Result, "Skipped: a_dec.wav is the output of a.wav");
  EXPECT_EQ(rows[1].Output, "/t/a_dec.wav");
  EXPECT_EQ(rows[1].State, TQueueState::Waiting);
  EXPECT_EQ(rows[2].State, TQueueState::Waiting);
  // "/t/c" proposes "/t/c_dec", "/t/c.wav" "/t/c_dec.wav": no clash.
  EXPECT_EQ(rows[3].State, TQueueState::Waiting);
  EXPECT_EQ(rows[4].State, TQueueState::Waiting);

  queue.Row(2).State = TQueueState::Decoded;
  queue.Add({"/t/d.wav", "/t/a.wav"});
  std::vector<std::string> inputs;
  for (const TQueueRow& row : queue.Rows()) inputs.push_back(row.Input);
  EXPECT_EQ(inputs, (std::vector<std::string>{"/t/a.wav", "/t/c", "/t/c.wav", "/t/d.wav"}));

  // Inputs of very long names are both proposed "output.wav".
  TQueueModel clash;
  clash.Add({"/t/" + std::string(240, 'x') + ".wav", "/t/" + std::string(240, 'y') + ".wav"});
  ASSERT_EQ(clash.Size(), 2U);
  EXPECT_EQ(clash.Rows()[0].State, TQueueState::Waiting);
  EXPECT_EQ(clash.Rows()[1].State, TQueueState::Failed);
  EXPECT_EQ(clash.Rows()[1].Result, "Output file already used for another input: output.wav");
  clash.Clear();
  clash.Add({"/u/x.wav", "/u/sub/../x.wav"});
  EXPECT_EQ(clash.Size(), 1U) << "/u/sub/../x.wav is /u/x.wav";
}

TEST(QueueModel, LevelsFollowTheMainControlUntilSetOrMeasured) {
  TQueueModel queue;
  queue.Add({"/t/a.wav", "/t/b.wav", "/t/c.wav"});
  queue.SetLevel(1, -7.5);
  queue.SetMeasuredLevel(2, -17.4, "tone");
  EXPECT_EQ(queue.LevelOf(0, -12.0), -12.0);
  EXPECT_EQ(queue.LevelOf(1, -12.0), -7.5);
  EXPECT_EQ(queue.LevelOf(2, -12.0), -17.4);
  EXPECT_EQ(queue.Rows()[2].LevelFrom, TRowLevel::Measured);
  queue.UseMainLevel(2);
  EXPECT_EQ(queue.LevelOf(2, -3.0), -3.0);
  EXPECT_TRUE(queue.Rows()[2].LevelNote.empty());

  // Tracks whose tones lie more than 0.5 dB apart keep a level each; within
  // 0.5 dB they share one; a level set or the main one drops them.
  queue.SetMeasuredLevel(0, -12.2, "tones", {-12.0, -12.5});
  EXPECT_TRUE(queue.Rows()[0].ChannelLevelsDb.empty());
  queue.SetMeasuredLevel(0, -12.3, "tones", {-12.0, -12.6});
  EXPECT_EQ(queue.Rows()[0].ChannelLevelsDb, (std::vector<double>{-12.0, -12.6}));
  queue.SetLevel(0, -10.0);
  EXPECT_TRUE(queue.Rows()[0].ChannelLevelsDb.empty());
  queue.SetMeasuredLevel(0, -12.3, "tones", {-12.0, -12.6});
  queue.UseMainLevel(0);
  EXPECT_TRUE(queue.Rows()[0].ChannelLevelsDb.empty());
}

// Replace and Skip answer for one file; the "all" answers hold for the rest
// of the round without asking, and a new round asks again.
TEST(QueueModel, ReplaceAndSkipPerFileAndForAll) {
  TQueueModel queue;
  queue.Add({"/t/a.wav", "/t/b.wav", "/t/c.wav", "/t/d.wav", "/t/e.wav"});
  int asked = 0;
  const auto answer = [&](TReplaceChoice choice) {
    return [&asked, choice] {
      ++asked;
      return choice;
    };
  };
  queue.BeginQuestions();
  EXPECT_FALSE(queue.DecideReplace(0, answer(TReplaceChoice::Skip)));
  EXPECT_TRUE(queue.DecideReplace(1, answer(TReplaceChoice::Replace)));
  EXPECT_FALSE(queue.DecideReplace(2, answer(TReplaceChoice::SkipAll)));
  EXPECT_FALSE(queue.DecideReplace(3, answer(TReplaceChoice::Replace)));
  EXPECT_EQ(asked, 3) << "skip all answers the fourth";
  EXPECT_TRUE(queue.DecideReplace(1, answer(TReplaceChoice::Skip))) << "agreed already";
  EXPECT_EQ(asked, 3);

  const auto& rows = queue.Rows();
  EXPECT_EQ(rows[0].State, TQueueState::Skipped);
  EXPECT_EQ(rows[0].Result, "Skipped: a_dec.wav exists and was kept");
  EXPECT_EQ(rows[1].State, TQueueState::Waiting);
  EXPECT_EQ(queue.NextWaiting(), 1U);
  EXPECT_EQ(queue.NextWaiting(2), 4U);

  queue.BeginQuestions();
  EXPECT_TRUE(queue.DecideReplace(4, answer(TReplaceChoice::ReplaceAll)));
  EXPECT_EQ(asked, 4);
  queue.MarkWaitingNotDecoded();
  EXPECT_EQ(queue.CountIn(TQueueState::NotDecoded), 2U);
  EXPECT_EQ(queue.CountIn(TQueueState::Skipped), 3U);
}

}  // namespace
}  // namespace zorv::test
