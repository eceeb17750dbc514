// SPDX-License-Identifier: GPL-3.0-or-later
// Written by zorv-power-tables (tools/write_power_tables.cpp) from the
// reference computations of dsp/start_values.h. Do not edit: run the program
// again. What a detector computes in extended precision when it is set up,
// rounded once to double, exactly (hexadecimal): every build reads them here.
#pragma once

#include "dsp/detector_constants.h"
#include "dsp/reference_level_range.h"
#include "dsp/sample_rates.h"

namespace zorv::start {

// clang-format off

// 10^(-VoltageMin / 3.64): the gain factor of a detector at rest.
inline constexpr double kRestingGainFactor = 0x1.3e7c5939384abp+5;

// A band's steps at a rate: the discharge current's leak, and the charge
// steps of its current curve with their slopes, per breakpoint.
struct TBandSteps {
  double LeakStep;
  double Charge[detector::kCurvePoints];
  double ChargeSlope[detector::kCurvePoints];
};

// [RateIndex(rate)][band A..D]
inline constexpr TBandSteps kBandSteps[kRateCount][detector::kBands] = {
    {  // 44100 Hz
        {0x1.1d24851469aebp-15,
         {0x0p+0, 0x1.55e8106cbee95p-20, 0x1.36d2f7a8ad8e4p-17, 0x1.66568cd9bac0cp-15,
          0x1.f156ba6fe108ap-14, 0x1.caebbc68df3fap-13, 0x1.71bf0066064a1p-12, 0x1.15dd63706ffc4p-11,
          0x1.e82ab6165b143p-11, 0x1.cb1a5c0e0559cp-10, 0x1.d1f5387998583p-9, 0x1.bb3afb6dbae78p-8,
          0x1.705b7f1ac3c39p-7, 0x1.16f4a4faf1883p-6, 0x1.f9e609c1dfd04p-6, 0x1.20529a8f97db2p-4,
          0x1.41d195b4fad33p-3, 0x1.f9e609c1dfd04p-3},
         {0x1.ab621487eea3ap-17, 0x1.4f1b7301db1d6p-14, 0x1.5eca42ab73347p-12, 0x1.8db65103c4926p-11,
          0x1.06d076fd2a6a2p-10, 0x1.5eb6d57bf8a9ap-10, 0x1.d0f5703320343p-10, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.ecb5b13f81e84p-13,
         {0x0p+0, 0x1.2765ac4ee4f11p-17, 0x1.0c8af9bc15f27p-14, 0x1.3597f40b2bb3bp-12,
          0x1.adafa2f55db78p-11, 0x1.8c7e7e1313b43p-10, 0x1.3f73232af841ep-9, 0x1.e0224f96fdbd5p-9,
          0x1.a5c304d8f6381p-8, 0x1.8ca6c61eefeabp-7, 0x1.9292ec163b269p-6, 0x1.7ef022a3826bdp-5,
          0x1.3e3ffdd089226p-4, 0x1.e204d94fbbb4cp-4, 0x1.b514dd22cbb8ap-3, 0x1.f23461a90fcf6p-2,
          0x1.160ab8df2f4b2p+0, 0x1.b514dd22cbb8ap+0},
         {0x1.713f17629e2d6p-14, 0x1.2185d53ec7a96p-11, 0x1.2f1283032fc4ep-9, 0x1.579c932bb9d51p-8,
          0x1.c620af7cfc1d1p-8, 0x1.2f01ba5394038p-7, 0x1.91b5ef0e0db4ap-7, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.a2cda375fb38ap-10,
         {0x0p+0, 0x1.f62cd81fb866ap-15, 0x1.c885dbbfbee8ep-12, 0x1.07278f6fe5258p-9,
          0x1.6d3bb0ea29426p-8, 0x1.51051e5d03f2cp-7, 0x1.0f88444aec9e6p-6, 0x1.981d2a0d247a8p-6,
          0x1.667f5db86ae2dp-5, 0x1.51275b9a4bedep-4, 0x1.25449d6e692fcp-3, 0x1.e0304c2954de7p-3,
          0x1.18f621ab3f464p-2, 0x1.bfe9b576c5233p-2, 0x1.874198abd3e1dp-1, 0x1.833157a7c3a0cp+0,
          0x1.b35fc845a8ecdp+1, 0x1.5293725bb804ap+2},
         {0x1.39dc0713d3402p-11, 0x1.ec3050eab9d31p-9, 0x1.019c88f5e89a8p-6, 0x1.2411e37ec45b8p-5,
          0x1.82022ec3d64bep-5, 0x1.018e44c70a9c9p-4, 0x1.55743e658ba65p-4, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.3d4674138fc6p-8,
         {0x0p+0, 0x1.7c6f8c751f177p-13, 0x1.59d9c581bf2c9p-10, 0x1.8eb80fa1c7cc4p-8,
          0x1.14b1196b939eep-6, 0x1.fea2e82fd76fcp-6, 0x1.8a091cb0d2cf1p-5, 0x1.1adc7be8fdbb1p-4,
          0x1.b879ba961edacp-4, 0x1.5f1d25e888a55p-3, 0x1.0d11ecd3713b8p-2, 0x1.802f48c600bd2p-2,
          0x1.03a42cf657b54p-1, 0x1.1d52f0e3b23f9p-1, 0x1.edf3a6b56eaap-1, 0x1.92d4be795783cp+0,
          0x1.c415e20f71ddap+1, 0x1.5fd14754bc38fp+2},
         {0x1.db8b6f9266dd5p-10, 0x1.74dec8efe21cp-7, 0x1.865205d1ae016p-5, 0x1.ba87b5c7d42d8p-4,
          0x1.246e427554c52p-3, 0x1.5acb257e41bap-3, 0x1.ad37a3d2e5a1ap-3, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
    },
    {  // 48000 Hz
        {0x1.05f98d778de55p-15,
         {0x0p+0, 0x1.3a2068b0b5cccp-20, 0x1.1d91d3895f744p-17, 0x1.49391e34d6c78p-15,
          0x1.c8ee14e396bffp-14, 0x1.a5a22eb38d1c1p-13, 0x1.53b4485dbc2dbp-12, 0x1.fe9399eb675f9p-12,
          0x1.c080d74af07a9p-11, 0x1.a5cd0493481dap-10, 0x1.ac194be2ea5dep-9, 0x1.9737ca3336eb2p-8,
          0x1.526da993ca421p-7, 0x1.004a5df9c11b9p-6, 0x1.d0cb58f6ec075p-6, 0x1.08e57e00b9eafp-4,
          0x1.27abc18b133edp-3, 0x1.d0cb58f6ec075p-3},
         {0x1.88a882dce33ffp-17, 0x1.33e138101ae96p-14, 0x1.4249d3a71ea5p-12, 0x1.6d65e73b76334p-11,
          0x1.e2ebdaa464564p-11, 0x1.4237fa89e60f1p-10, 0x1.ab2e4be22bfccp-10, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.c4ad547258f3cp-13,
         {0x0p+0, 0x1.0f656982158a5p-17, 0x1.ed7291499b871p-15, 0x1.1c7068371026bp-12,
          0x1.8ac62a84a14d6p-11, 0x1.6c476a3b2080cp-10, 0x1.257e951c47495p-9, 0x1.b91f85ec52b92p-9,
          0x1.837e5fa75569ep-8, 0x1.6c6c6c6c6c6c7p-7, 0x1.71dd6281398b7p-6, 0x1.5fd306396c9fdp-5,
          0x1.2464646464646p-4, 0x1.badadadadadaep-4, 0x1.919191919191ap-3, 0x1.c9b9b9b9b9b9cp-2,
          0x1.fee6e6e6e6e6ep-1, 0x1.919191919191ap+0},
         {0x1.533ec3e29aecep-14, 0x1.09ffc251add6dp-11, 0x1.16729b9153e34p-9, 0x1.3bb174035f889p-8,
          0x1.a13ad46e07a12p-8, 0x1.16632ffcc9967p-7, 0x1.71125a081c979p-7, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.80c687c79868dp-10,
         {0x0p+0, 0x1.cd5f99c38b04bp-15, 0x1.a36e2eb1c432cp-12, 0x1.e38be45d9b74fp-10,
          0x1.4f8ed75722b4fp-8, 0x1.35a31a4bdba0ap-7, 0x1.f2f0ca49ac631p-7, 0x1.76f46508dfea3p-6,
          0x1.495e9e1b089ap-5, 0x1.35c28f5c28f5cp-4, 0x1.0d70a3d70a3d7p-3, 0x1.b92c5f92c5f93p-3,
          0x1.0222222222222p-2, 0x1.9b851eb851eb8p-2, 0x1.6777777777777p-1, 0x1.63bbbbbbbbbbbp+0,
          0x1.9p+1, 0x1.3711111111111p+2},
         {0x1.205bc01a36e2fp-11, 0x1.c432ca57a786cp-9, 0x1.d95c6edd75025p-7, 0x1.0c56d5cfaacdap-5,
          0x1.62a53490b9af5p-5, 0x1.d94237fa89e62p-5, 0x1.39b5ffba184dap-4, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.237f210b927dfp-8,
         {0x0p+0, 0x1.5d867c3ece2a5p-13, 0x1.3dc013dc013dcp-10, 0x1.6e52b4c3092a1p-8,
          0x1.fc6bd1e8df40bp-7, 0x1.d525abb8c121ep-6, 0x1.6a052bf5a814bp-5, 0x1.03e0f83e0f83ep-4,
          0x1.94afd6a052bf6p-4, 0x1.4295fad40a57ep-3, 0x1.ee6a89915343bp-3, 0x1.60f83e0f83e0fp-2,
          0x1.dd1745d1745d2p-2, 0x1.062433b79890dp-1, 0x1.c5d1745d1745cp-1, 0x1.7219dbcc48677p+0,
          0x1.9f5a814afd6ap+1, 0x1.433b79890cedep+2},
         {0x1.b4e81b4e81b4fp-10, 0x1.5693156931569p-7, 0x1.669b5bbf0b114p-5, 0x1.969315693156ap-4,
          0x1.0cabb37565e1ep-3, 0x1.3e9dd73f32c95p-3, 0x1.8a57eb50295fbp-3, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
    },
    {  // 96000 Hz
        {0x1.05f98d778de55p-16,
         {0x0p+0, 0x1.3a2068b0b5cccp-21, 0x1.1d91d3895f744p-18, 0x1.49391e34d6c78p-16,
          0x1.c8ee14e396bffp-15, 0x1.a5a22eb38d1c1p-14, 0x1.53b4485dbc2dbp-13, 0x1.fe9399eb675f9p-13,
          0x1.c080d74af07a9p-12, 0x1.a5cd0493481dap-11, 0x1.ac194be2ea5dep-10, 0x1.9737ca3336eb2p-9,
          0x1.526da993ca421p-8, 0x1.004a5df9c11b9p-7, 0x1.d0cb58f6ec075p-7, 0x1.08e57e00b9eafp-5,
          0x1.27abc18b133edp-4, 0x1.d0cb58f6ec075p-4},
         {0x1.88a882dce33ffp-18, 0x1.33e138101ae96p-15, 0x1.4249d3a71ea5p-13, 0x1.6d65e73b76334p-12,
          0x1.e2ebdaa464564p-12, 0x1.4237fa89e60f1p-11, 0x1.ab2e4be22bfccp-11, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.c4ad547258f3cp-14,
         {0x0p+0, 0x1.0f656982158a5p-18, 0x1.ed7291499b871p-16, 0x1.1c7068371026bp-13,
          0x1.8ac62a84a14d6p-12, 0x1.6c476a3b2080cp-11, 0x1.257e951c47495p-10, 0x1.b91f85ec52b92p-10,
          0x1.837e5fa75569ep-9, 0x1.6c6c6c6c6c6c7p-8, 0x1.71dd6281398b7p-7, 0x1.5fd306396c9fdp-6,
          0x1.2464646464646p-5, 0x1.badadadadadaep-5, 0x1.919191919191ap-4, 0x1.c9b9b9b9b9b9cp-3,
          0x1.fee6e6e6e6e6ep-2, 0x1.919191919191ap-1},
         {0x1.533ec3e29aecep-15, 0x1.09ffc251add6dp-12, 0x1.16729b9153e34p-10, 0x1.3bb174035f889p-9,
          0x1.a13ad46e07a12p-9, 0x1.16632ffcc9967p-8, 0x1.71125a081c979p-8, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.80c687c79868dp-11,
         {0x0p+0, 0x1.cd5f99c38b04bp-16, 0x1.a36e2eb1c432cp-13, 0x1.e38be45d9b74fp-11,
          0x1.4f8ed75722b4fp-9, 0x1.35a31a4bdba0ap-8, 0x1.f2f0ca49ac631p-8, 0x1.76f46508dfea3p-7,
          0x1.495e9e1b089ap-6, 0x1.35c28f5c28f5cp-5, 0x1.0d70a3d70a3d7p-4, 0x1.b92c5f92c5f93p-4,
          0x1.0222222222222p-3, 0x1.9b851eb851eb8p-3, 0x1.6777777777777p-2, 0x1.63bbbbbbbbbbbp-1,
          0x1.9p+0, 0x1.3711111111111p+1},
         {0x1.205bc01a36e2fp-12, 0x1.c432ca57a786cp-10, 0x1.d95c6edd75025p-8, 0x1.0c56d5cfaacdap-6,
          0x1.62a53490b9af5p-6, 0x1.d94237fa89e62p-6, 0x1.39b5ffba184dap-5, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.237f210b927dfp-9,
         {0x0p+0, 0x1.5d867c3ece2a5p-14, 0x1.3dc013dc013dcp-11, 0x1.6e52b4c3092a1p-9,
          0x1.fc6bd1e8df40bp-8, 0x1.d525abb8c121ep-7, 0x1.6a052bf5a814bp-6, 0x1.03e0f83e0f83ep-5,
          0x1.94afd6a052bf6p-5, 0x1.4295fad40a57ep-4, 0x1.ee6a89915343bp-4, 0x1.60f83e0f83e0fp-3,
          0x1.dd1745d1745d2p-3, 0x1.062433b79890dp-2, 0x1.c5d1745d1745cp-2, 0x1.7219dbcc48677p-1,
          0x1.9f5a814afd6ap+0, 0x1.433b79890cedep+1},
         {0x1.b4e81b4e81b4fp-11, 0x1.5693156931569p-8, 0x1.669b5bbf0b114p-6, 0x1.969315693156ap-5,
          0x1.0cabb37565e1ep-4, 0x1.3e9dd73f32c95p-4, 0x1.8a57eb50295fbp-4, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
    },
    {  // 32000 Hz
        {0x1.88f6543354d8p-15,
         {0x0p+0, 0x1.d7309d0910b32p-20, 0x1.ac5abd4e0f2e7p-17, 0x1.edd5ad4f422b3p-15,
          0x1.56b28faab10ffp-13, 0x1.3c39a306a9d51p-12, 0x1.fd8e6c8c9a448p-12, 0x1.7eeeb3708d87bp-11,
          0x1.5060a178345bfp-10, 0x1.3c59c36e76164p-9, 0x1.4112f8ea2fc66p-8, 0x1.3169d7a669305p-7,
          0x1.fba47e5daf632p-7, 0x1.806f8cf6a1a95p-6, 0x1.5c9882b931058p-5, 0x1.8d583d0116e07p-4,
          0x1.bb81a2509cde3p-3, 0x1.5c9882b931058p-2},
         {0x1.267e6225aa6ffp-16, 0x1.cdd1d418285e1p-14, 0x1.e36ebd7aadf78p-12, 0x1.120c6d6c98a67p-10,
          0x1.6a30e3fb4b40bp-10, 0x1.e353f7ced916ap-10, 0x1.4062b8e9a0fd9p-9, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.5381ff55c2b6dp-12,
         {0x0p+0, 0x1.97181e43204f7p-17, 0x1.7215ecf734a55p-14, 0x1.aaa89c52983a1p-12,
          0x1.28149fe378fap-10, 0x1.11358fac58609p-9, 0x1.b83ddfaa6aeep-9, 0x1.4ad7a4713e0aep-8,
          0x1.229ec7bd800f7p-7, 0x1.1151515151515p-6, 0x1.156609e0eb289p-5, 0x1.07de44ab1177ep-4,
          0x1.b696969696969p-4, 0x1.4c24242424242p-3, 0x1.2d2d2d2d2d2d3p-2, 0x1.574b4b4b4b4b5p-1,
          0x1.7f2d2d2d2d2d3p+0, 0x1.2d2d2d2d2d2d3p+1},
         {0x1.fcde25d3e8635p-14, 0x1.8effa37a84c23p-11, 0x1.a1abe959fdd4ep-9, 0x1.d98a2e050f4cdp-8,
          0x1.38ec1f5285b8dp-7, 0x1.a194c7fb2e61ap-7, 0x1.14cdc3861571bp-6, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.2094e5d5b24eap-9,
         {0x0p+0, 0x1.5a07b352a8438p-14, 0x1.3a92a30553261p-11, 0x1.6aa8eb463497cp-9,
          0x1.f7564302b40f7p-8, 0x1.d074a771c970fp-7, 0x1.763497b7414a5p-6, 0x1.19374bc6a7efap-5,
          0x1.ee0ded288ce7p-5, 0x1.d0a3d70a3d70ap-4, 0x1.9428f5c28f5c3p-3, 0x1.4ae147ae147aep-2,
          0x1.8333333333333p-2, 0x1.34a3d70a3d70ap-1, 0x1.0d9999999999ap+0, 0x1.0acccccccccccp+1,
          0x1.2cp+2, 0x1.d299999999999p+2},
         {0x1.b089a02752546p-11, 0x1.532617c1bda51p-8, 0x1.6305532617c1cp-6, 0x1.928240b780348p-5,
          0x1.09fbe76c8b438p-4, 0x1.62f1a9fbe76c9p-4, 0x1.d690ff9724747p-4, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.b53eb1915bbcep-8,
         {0x0p+0, 0x1.0624dd2f1a9fcp-12, 0x1.dca01dca01dc9p-10, 0x1.12be079246df9p-7,
          0x1.7d50dd6ea7708p-6, 0x1.5fdc40ca90d96p-5, 0x1.0f83e0f83e0f8p-4, 0x1.85d1745d1745dp-4,
          0x1.2f83e0f83e0f8p-3, 0x1.e3e0f83e0f83ep-3, 0x1.72cfe72cfe72dp-2, 0x1.08ba2e8ba2e8bp-1,
          0x1.65d1745d1745dp-1, 0x1.89364d9364d94p-1, 0x1.545d1745d1745p+0, 0x1.159364d9364d9p+1,
          0x1.3783e0f83e0f8p+2, 0x1.e4d9364d9364ep+2},
         {0x1.47ae147ae147bp-9, 0x1.00ee500ee500fp-6, 0x1.0cf484cf484cfp-4, 0x1.30ee500ee500fp-3,
          0x1.93018d3018d2ep-3, 0x1.ddecc2decc2dfp-3, 0x1.27c1f07c1f07dp-2, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
    },
    {  // 88200 Hz
        {0x1.1d24851469aebp-16,
         {0x0p+0, 0x1.55e8106cbee95p-21, 0x1.36d2f7a8ad8e4p-18, 0x1.66568cd9bac0cp-16,
          0x1.f156ba6fe108ap-15, 0x1.caebbc68df3fap-14, 0x1.71bf0066064a1p-13, 0x1.15dd63706ffc4p-12,
          0x1.e82ab6165b143p-12, 0x1.cb1a5c0e0559cp-11, 0x1.d1f5387998583p-10, 0x1.bb3afb6dbae78p-9,
          0x1.705b7f1ac3c39p-8, 0x1.16f4a4faf1883p-7, 0x1.f9e609c1dfd04p-7, 0x1.20529a8f97db2p-5,
          0x1.41d195b4fad33p-4, 0x1.f9e609c1dfd04p-4},
         {0x1.ab621487eea3ap-18, 0x1.4f1b7301db1d6p-15, 0x1.5eca42ab73347p-13, 0x1.8db65103c4926p-12,
          0x1.06d076fd2a6a2p-11, 0x1.5eb6d57bf8a9ap-11, 0x1.d0f5703320343p-11, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.ecb5b13f81e84p-14,
         {0x0p+0, 0x1.2765ac4ee4f11p-18, 0x1.0c8af9bc15f27p-15, 0x1.3597f40b2bb3bp-13,
          0x1.adafa2f55db78p-12, 0x1.8c7e7e1313b43p-11, 0x1.3f73232af841ep-10, 0x1.e0224f96fdbd5p-10,
          0x1.a5c304d8f6381p-9, 0x1.8ca6c61eefeabp-8, 0x1.9292ec163b269p-7, 0x1.7ef022a3826bdp-6,
          0x1.3e3ffdd089226p-5, 0x1.e204d94fbbb4cp-5, 0x1.b514dd22cbb8ap-4, 0x1.f23461a90fcf6p-3,
          0x1.160ab8df2f4b2p-1, 0x1.b514dd22cbb8ap-1},
         {0x1.713f17629e2d6p-15, 0x1.2185d53ec7a96p-12, 0x1.2f1283032fc4ep-10, 0x1.579c932bb9d51p-9,
          0x1.c620af7cfc1d1p-9, 0x1.2f01ba5394038p-8, 0x1.91b5ef0e0db4ap-8, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.a2cda375fb38ap-11,
         {0x0p+0, 0x1.f62cd81fb866ap-16, 0x1.c885dbbfbee8ep-13, 0x1.07278f6fe5258p-10,
          0x1.6d3bb0ea29426p-9, 0x1.51051e5d03f2cp-8, 0x1.0f88444aec9e6p-7, 0x1.981d2a0d247a8p-7,
          0x1.667f5db86ae2dp-6, 0x1.51275b9a4bedep-5, 0x1.25449d6e692fcp-4, 0x1.e0304c2954de7p-4,
          0x1.18f621ab3f464p-3, 0x1.bfe9b576c5233p-3, 0x1.874198abd3e1dp-2, 0x1.833157a7c3a0cp-1,
          0x1.b35fc845a8ecdp+0, 0x1.5293725bb804ap+1},
         {0x1.39dc0713d3402p-12, 0x1.ec3050eab9d31p-10, 0x1.019c88f5e89a8p-7, 0x1.2411e37ec45b8p-6,
          0x1.82022ec3d64bep-6, 0x1.018e44c70a9c9p-5, 0x1.55743e658ba65p-5, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.3d4674138fc6p-9,
         {0x0p+0, 0x1.7c6f8c751f177p-14, 0x1.59d9c581bf2c9p-11, 0x1.8eb80fa1c7cc4p-9,
          0x1.14b1196b939eep-7, 0x1.fea2e82fd76fcp-7, 0x1.8a091cb0d2cf1p-6, 0x1.1adc7be8fdbb1p-5,
          0x1.b879ba961edacp-5, 0x1.5f1d25e888a55p-4, 0x1.0d11ecd3713b8p-3, 0x1.802f48c600bd2p-3,
          0x1.03a42cf657b54p-2, 0x1.1d52f0e3b23f9p-2, 0x1.edf3a6b56eaap-2, 0x1.92d4be795783cp-1,
          0x1.c415e20f71ddap+0, 0x1.5fd14754bc38fp+1},
         {0x1.db8b6f9266dd5p-11, 0x1.74dec8efe21cp-8, 0x1.865205d1ae016p-6, 0x1.ba87b5c7d42d8p-5,
          0x1.246e427554c52p-4, 0x1.5acb257e41bap-4, 0x1.ad37a3d2e5a1ap-4, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
    },
    {  // 176400 Hz
        {0x1.1d24851469aebp-17,
         {0x0p+0, 0x1.55e8106cbee95p-22, 0x1.36d2f7a8ad8e4p-19, 0x1.66568cd9bac0cp-17,
          0x1.f156ba6fe108ap-16, 0x1.caebbc68df3fap-15, 0x1.71bf0066064a1p-14, 0x1.15dd63706ffc4p-13,
          0x1.e82ab6165b143p-13, 0x1.cb1a5c0e0559cp-12, 0x1.d1f5387998583p-11, 0x1.bb3afb6dbae78p-10,
          0x1.705b7f1ac3c39p-9, 0x1.16f4a4faf1883p-8, 0x1.f9e609c1dfd04p-8, 0x1.20529a8f97db2p-6,
          0x1.41d195b4fad33p-5, 0x1.f9e609c1dfd04p-5},
         {0x1.ab621487eea3ap-19, 0x1.4f1b7301db1d6p-16, 0x1.5eca42ab73347p-14, 0x1.8db65103c4926p-13,
          0x1.06d076fd2a6a2p-12, 0x1.5eb6d57bf8a9ap-12, 0x1.d0f5703320343p-12, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.ecb5b13f81e84p-15,
         {0x0p+0, 0x1.2765ac4ee4f11p-19, 0x1.0c8af9bc15f27p-16, 0x1.3597f40b2bb3bp-14,
          0x1.adafa2f55db78p-13, 0x1.8c7e7e1313b43p-12, 0x1.3f73232af841ep-11, 0x1.e0224f96fdbd5p-11,
          0x1.a5c304d8f6381p-10, 0x1.8ca6c61eefeabp-9, 0x1.9292ec163b269p-8, 0x1.7ef022a3826bdp-7,
          0x1.3e3ffdd089226p-6, 0x1.e204d94fbbb4cp-6, 0x1.b514dd22cbb8ap-5, 0x1.f23461a90fcf6p-4,
          0x1.160ab8df2f4b2p-2, 0x1.b514dd22cbb8ap-2},
         {0x1.713f17629e2d6p-16, 0x1.2185d53ec7a96p-13, 0x1.2f1283032fc4ep-11, 0x1.579c932bb9d51p-10,
          0x1.c620af7cfc1d1p-10, 0x1.2f01ba5394038p-9, 0x1.91b5ef0e0db4ap-9, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.a2cda375fb38ap-12,
         {0x0p+0, 0x1.f62cd81fb866ap-17, 0x1.c885dbbfbee8ep-14, 0x1.07278f6fe5258p-11,
          0x1.6d3bb0ea29426p-10, 0x1.51051e5d03f2cp-9, 0x1.0f88444aec9e6p-8, 0x1.981d2a0d247a8p-8,
          0x1.667f5db86ae2dp-7, 0x1.51275b9a4bedep-6, 0x1.25449d6e692fcp-5, 0x1.e0304c2954de7p-5,
          0x1.18f621ab3f464p-4, 0x1.bfe9b576c5233p-4, 0x1.874198abd3e1dp-3, 0x1.833157a7c3a0cp-2,
          0x1.b35fc845a8ecdp-1, 0x1.5293725bb804ap+0},
         {0x1.39dc0713d3402p-13, 0x1.ec3050eab9d31p-11, 0x1.019c88f5e89a8p-8, 0x1.2411e37ec45b8p-7,
          0x1.82022ec3d64bep-7, 0x1.018e44c70a9c9p-6, 0x1.55743e658ba65p-6, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.3d4674138fc6p-10,
         {0x0p+0, 0x1.7c6f8c751f177p-15, 0x1.59d9c581bf2c9p-12, 0x1.8eb80fa1c7cc4p-10,
          0x1.14b1196b939eep-8, 0x1.fea2e82fd76fcp-8, 0x1.8a091cb0d2cf1p-7, 0x1.1adc7be8fdbb1p-6,
          0x1.b879ba961edacp-6, 0x1.5f1d25e888a55p-5, 0x1.0d11ecd3713b8p-4, 0x1.802f48c600bd2p-4,
          0x1.03a42cf657b54p-3, 0x1.1d52f0e3b23f9p-3, 0x1.edf3a6b56eaap-3, 0x1.92d4be795783cp-2,
          0x1.c415e20f71ddap-1, 0x1.5fd14754bc38fp+0},
         {0x1.db8b6f9266dd5p-12, 0x1.74dec8efe21cp-9, 0x1.865205d1ae016p-7, 0x1.ba87b5c7d42d8p-6,
          0x1.246e427554c52p-5, 0x1.5acb257e41bap-5, 0x1.ad37a3d2e5a1ap-5, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
    },
    {  // 192000 Hz
        {0x1.05f98d778de55p-17,
         {0x0p+0, 0x1.3a2068b0b5cccp-22, 0x1.1d91d3895f744p-19, 0x1.49391e34d6c78p-17,
          0x1.c8ee14e396bffp-16, 0x1.a5a22eb38d1c1p-15, 0x1.53b4485dbc2dbp-14, 0x1.fe9399eb675f9p-14,
          0x1.c080d74af07a9p-13, 0x1.a5cd0493481dap-12, 0x1.ac194be2ea5dep-11, 0x1.9737ca3336eb2p-10,
          0x1.526da993ca421p-9, 0x1.004a5df9c11b9p-8, 0x1.d0cb58f6ec075p-8, 0x1.08e57e00b9eafp-6,
          0x1.27abc18b133edp-5, 0x1.d0cb58f6ec075p-5},
         {0x1.88a882dce33ffp-19, 0x1.33e138101ae96p-16, 0x1.4249d3a71ea5p-14, 0x1.6d65e73b76334p-13,
          0x1.e2ebdaa464564p-13, 0x1.4237fa89e60f1p-12, 0x1.ab2e4be22bfccp-12, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.c4ad547258f3cp-15,
         {0x0p+0, 0x1.0f656982158a5p-19, 0x1.ed7291499b871p-17, 0x1.1c7068371026bp-14,
          0x1.8ac62a84a14d6p-13, 0x1.6c476a3b2080cp-12, 0x1.257e951c47495p-11, 0x1.b91f85ec52b92p-11,
          0x1.837e5fa75569ep-10, 0x1.6c6c6c6c6c6c7p-9, 0x1.71dd6281398b7p-8, 0x1.5fd306396c9fdp-7,
          0x1.2464646464646p-6, 0x1.badadadadadaep-6, 0x1.919191919191ap-5, 0x1.c9b9b9b9b9b9cp-4,
          0x1.fee6e6e6e6e6ep-3, 0x1.919191919191ap-2},
         {0x1.533ec3e29aecep-16, 0x1.09ffc251add6dp-13, 0x1.16729b9153e34p-11, 0x1.3bb174035f889p-10,
          0x1.a13ad46e07a12p-10, 0x1.16632ffcc9967p-9, 0x1.71125a081c979p-9, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.80c687c79868dp-12,
         {0x0p+0, 0x1.cd5f99c38b04bp-17, 0x1.a36e2eb1c432cp-14, 0x1.e38be45d9b74fp-12,
          0x1.4f8ed75722b4fp-10, 0x1.35a31a4bdba0ap-9, 0x1.f2f0ca49ac631p-9, 0x1.76f46508dfea3p-8,
          0x1.495e9e1b089ap-7, 0x1.35c28f5c28f5cp-6, 0x1.0d70a3d70a3d7p-5, 0x1.b92c5f92c5f93p-5,
          0x1.0222222222222p-4, 0x1.9b851eb851eb8p-4, 0x1.6777777777777p-3, 0x1.63bbbbbbbbbbbp-2,
          0x1.9p-1, 0x1.3711111111111p+0},
         {0x1.205bc01a36e2fp-13, 0x1.c432ca57a786cp-11, 0x1.d95c6edd75025p-9, 0x1.0c56d5cfaacdap-7,
          0x1.62a53490b9af5p-7, 0x1.d94237fa89e62p-7, 0x1.39b5ffba184dap-6, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
        {0x1.237f210b927dfp-10,
         {0x0p+0, 0x1.5d867c3ece2a5p-15, 0x1.3dc013dc013dcp-12, 0x1.6e52b4c3092a1p-10,
          0x1.fc6bd1e8df40bp-9, 0x1.d525abb8c121ep-8, 0x1.6a052bf5a814bp-7, 0x1.03e0f83e0f83ep-6,
          0x1.94afd6a052bf6p-6, 0x1.4295fad40a57ep-5, 0x1.ee6a89915343bp-5, 0x1.60f83e0f83e0fp-4,
          0x1.dd1745d1745d2p-4, 0x1.062433b79890dp-3, 0x1.c5d1745d1745cp-3, 0x1.7219dbcc48677p-2,
          0x1.9f5a814afd6ap-1, 0x1.433b79890cedep+0},
         {0x1.b4e81b4e81b4fp-12, 0x1.5693156931569p-9, 0x1.669b5bbf0b114p-7, 0x1.969315693156ap-6,
          0x1.0cabb37565e1ep-5, 0x1.3e9dd73f32c95p-5, 0x1.8a57eb50295fbp-5, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0, 0x0p+0, 0x0p+0,
          0x0p+0, 0x0p+0}},
    },
};

// The control voltage a reference level adds to the one at -15.0 dB (the
// level range's analysis decode), 3.64 / 2 x log10(factor(-15.0) /
// factor(level)), of the factors as the decoder holds them.
inline constexpr int kShiftFromTenths = -150;
// [tenths of a dB - kMinLevelTenths]
inline constexpr double kLevelShifts[kMaxLevelTenths - kMinLevelTenths + 1] = {
    0x1.5d70a3d70a3d8p+0,  // -30.0 dB
    0x1.5b1c432ca57a7p+0,  // -29.9 dB
    0x1.58c7e28240b78p+0,  // -29.8 dB
    0x1.567381d7dbf48p+0,  // -29.7 dB
    0x1.541f212d7731ap+0,  // -29.6 dB
    0x1.51cac083126eap+0,  // -29.5 dB
    0x1.4f765fd8adab9p+0,  // -29.4 dB
    0x1.4d21ff2e48e8bp+0,  // -29.3 dB
    0x1.4acd9e83e425bp+0,  // -29.2 dB
    0x1.48793dd97f62cp+0,  // -29.1 dB
    0x1.4624dd2f1a9fcp+0,  // -29.0 dB
    0x1.43d07c84b5dccp+0,  // -28.9 dB
    0x1.417c1bda5119dp+0,  // -28.8 dB
    0x1.3f27bb2fec56dp+0,  // -28.7 dB
    0x1.3cd35a858793fp+0,  // -28.6 dB
    0x1.3a7ef9db22d0fp+0,  // -28.5 dB
    0x1.382a9930be0dfp+0,  // -28.4 dB
    0x1.35d63886594bp+0,  // -28.3 dB
    0x1.3381d7dbf488p+0,  // -28.2 dB
    0x1.312d77318fc51p+0,  // -28.1 dB
    0x1.2ed916872b021p+0,  // -28.0 dB
    0x1.2c84b5dcc63f1p+0,  // -27.9 dB
    0x1.2a305532617c3p+0,  // -27.8 dB
    0x1.27dbf487fcb92p+0,  // -27.7 dB
    0x1.258793dd97f64p+0,  // -27.6 dB
    0x1.2333333333334p+0,  // -27.5 dB
    0x1.20ded288ce703p+0,  // -27.4 dB
    0x1.1e8a71de69ad5p+0,  // -27.3 dB
    0x1.1c36113404ea5p+0,  // -27.2 dB
    0x1.19e1b089a0276p+0,  // -27.1 dB
    0x1.178d4fdf3b646p+0,  // -27.0 dB
    0x1.1538ef34d6a16p+0,  // -26.9 dB
    0x1.12e48e8a71de7p+0,  // -26.8 dB
    0x1.10902de00d1b7p+0,  // -26.7 dB
    0x1.0e3bcd35a8588p+0,  // -26.6 dB
    0x1.0be76c8b43958p+0,  // -26.5 dB
    0x1.09930be0ded28p+0,  // -26.4 dB
    0x1.073eab367a0fap+0,  // -26.3 dB
    0x1.04ea4a8c154c9p+0,  // -26.2 dB
    0x1.0295e9e1b089bp+0,  // -26.1 dB
    0x1.004189374bc6bp+0,  // -26.0 dB
    0x1.fbda5119ce075p-1,  // -25.9 dB
    0x1.f7318fc504818p-1,  // -25.8 dB
    0x1.f288ce703afb7p-1,  // -25.7 dB
    0x1.ede00d1b7175bp-1,  // -25.6 dB
    0x1.e9374bc6a7efbp-1,  // -25.5 dB
    0x1.e48e8a71de69ap-1,  // -25.4 dB
    0x1.dfe5c91d14e3dp-1,  // -25.3 dB
    0x1.db3d07c84b5dcp-1,  // -25.2 dB
    0x1.d694467381d7fp-1,  // -25.1 dB
    0x1.d1eb851eb851fp-1,  // -25.0 dB
    0x1.cd42c3c9eecbfp-1,  // -24.9 dB
    0x1.c89a027525462p-1,  // -24.8 dB
    0x1.c3f141205bc01p-1,  // -24.7 dB
    0x1.bf487fcb923a4p-1,  // -24.6 dB
    0x1.ba9fbe76c8b44p-1,  // -24.5 dB
    0x1.b5f6fd21ff2e4p-1,  // -24.4 dB
    0x1.b14e3bcd35a86p-1,  // -24.3 dB
    0x1.aca57a786c227p-1,  // -24.2 dB
    0x1.a7fcb923a29c9p-1,  // -24.1 dB
    0x1.a353f7ced9168p-1,  // -24.0 dB
    0x1.9eab367a0f908p-1,  // -23.9 dB
    0x1.9a027525460abp-1,  // -23.8 dB
    0x1.9559b3d07c84bp-1,  // -23.7 dB
    0x1.90b0f27bb2feep-1,  // -23.6 dB
    0x1.8c083126e978ep-1,  // -23.5 dB
    0x1.875f6fd21ff2ep-1,  // -23.4 dB
    0x1.82b6ae7d566dp-1,  // -23.3 dB
    0x1.7e0ded288ce7p-1,  // -23.2 dB
    0x1.79652bd3c3613p-1,  // -23.1 dB
    0x1.74bc6a7ef9db3p-1,  // -23.0 dB
    0x1.7013a92a30552p-1,  // -22.9 dB
    0x1.6b6ae7d566cf5p-1,  // -22.8 dB
    0x1.66c226809d495p-1,  // -22.7 dB
    0x1.6219652bd3c38p-1,  // -22.6 dB
    0x1.5d70a3d70a3d8p-1,  // -22.5 dB
    0x1.58c7e28240b78p-1,  // -22.4 dB
    0x1.541f212d7731ap-1,  // -22.3 dB
    0x1.4f765fd8adabap-1,  // -22.2 dB
    0x1.4acd9e83e425cp-1,  // -22.1 dB
    0x1.4624dd2f1a9fcp-1,  // -22.0 dB
    0x1.417c1bda5119cp-1,  // -21.9 dB
    0x1.3cd35a858793fp-1,  // -21.8 dB
    0x1.382a9930be0dep-1,  // -21.7 dB
    0x1.3381d7dbf4882p-1,  // -21.6 dB
    0x1.2ed916872b021p-1,  // -21.5 dB
    0x1.2a305532617c1p-1,  // -21.4 dB
    0x1.258793dd97f64p-1,  // -21.3 dB
    0x1.20ded288ce704p-1,  // -21.2 dB
    0x1.1c36113404ea7p-1,  // -21.1 dB
    0x1.178d4fdf3b646p-1,  // -21.0 dB
    0x1.12e48e8a71de6p-1,  // -20.9 dB
    0x1.0e3bcd35a8589p-1,  // -20.8 dB
    0x1.09930be0ded29p-1,  // -20.7 dB
    0x1.04ea4a8c154cbp-1,  // -20.6 dB
    0x1.004189374bc6bp-1,  // -20.5 dB
    0x1.f7318fc504815p-2,  // -20.4 dB
    0x1.ede00d1b7175cp-2,  // -20.3 dB
    0x1.e48e8a71de69cp-2,  // -20.2 dB
    0x1.db3d07c84b5dfp-2,  // -20.1 dB
    0x1.d1eb851eb851fp-2,  // -20.0 dB
    0x1.c89a02752546p-2,  // -19.9 dB
    0x1.bf487fcb923a5p-2,  // -19.8 dB
    0x1.b5f6fd21ff2e4p-2,  // -19.7 dB
    0x1.aca57a786c22ap-2,  // -19.6 dB
    0x1.a353f7ced9169p-2,  // -19.5 dB
    0x1.9a027525460a8p-2,  // -19.4 dB
    0x1.90b0f27bb2feep-2,  // -19.3 dB
    0x1.875f6fd21ff2fp-2,  // -19.2 dB
    0x1.7e0ded288ce73p-2,  // -19.1 dB
    0x1.74bc6a7ef9db3p-2,  // -19.0 dB
    0x1.6b6ae7d566cf2p-2,  // -18.9 dB
    0x1.6219652bd3c38p-2,  // -18.8 dB
    0x1.58c7e28240b79p-2,  // -18.7 dB
    0x1.4f765fd8adabdp-2,  // -18.6 dB
    0x1.4624dd2f1a9fdp-2,  // -18.5 dB
    0x1.3cd35a858793cp-2,  // -18.4 dB
    0x1.3381d7dbf4882p-2,  // -18.3 dB
    0x1.2a305532617c2p-2,  // -18.2 dB
    0x1.20ded288ce708p-2,  // -18.1 dB
    0x1.178d4fdf3b646p-2,  // -18.0 dB
    0x1.0e3bcd35a8585p-2,  // -17.9 dB
    0x1.04ea4a8c154cbp-2,  // -17.8 dB
    0x1.f7318fc504814p-3,  // -17.7 dB
    0x1.e48e8a71de69fp-3,  // -17.6 dB
    0x1.d1eb851eb8521p-3,  // -17.5 dB
    0x1.bf487fcb9239fp-3,  // -17.4 dB
    0x1.aca57a786c22bp-3,  // -17.3 dB
    0x1.9a027525460aap-3,  // -17.2 dB
    0x1.875f6fd21ff34p-3,  // -17.1 dB
    0x1.74bc6a7ef9db6p-3,  // -17.0 dB
    0x1.6219652bd3c36p-3,  // -16.9 dB
    0x1.4f765fd8adabep-3,  // -16.8 dB
    0x1.3cd35a858793ep-3,  // -16.7 dB
    0x1.2a305532617cap-3,  // -16.6 dB
    0x1.178d4fdf3b647p-3,  // -16.5 dB
    0x1.04ea4a8c154c5p-3,  // -16.4 dB
    0x1.e48e8a71de6a5p-4,  // -16.3 dB
    0x1.bf487fcb923a7p-4,  // -16.2 dB
    0x1.9a027525460b8p-4,  // -16.1 dB
    0x1.74bc6a7ef9db8p-4,  // -16.0 dB
    0x1.4f765fd8adabdp-4,  // -15.9 dB
    0x1.2a305532617cep-4,  // -15.8 dB
    0x1.04ea4a8c154c7p-4,  // -15.7 dB
    0x1.bf487fcb923a2p-5,  // -15.6 dB
    0x1.74bc6a7ef9dbfp-5,  // -15.5 dB
    0x1.2a305532617d5p-5,  // -15.4 dB
    0x1.bf487fcb923d5p-6,  // -15.3 dB
    0x1.2a305532617b4p-6,  // -15.2 dB
    0x1.2a305532617dep-7,  // -15.1 dB
    0x0p+0,  // -15.0 dB
    -0x1.2a30553261775p-7,  // -14.9 dB
    -0x1.2a305532617a3p-6,  // -14.8 dB
    -0x1.bf487fcb923adp-6,  // -14.7 dB
    -0x1.2a305532617bap-5,  // -14.6 dB
    -0x1.74bc6a7ef9dadp-5,  // -14.5 dB
    -0x1.bf487fcb92397p-5,  // -14.4 dB
    -0x1.04ea4a8c154cp-4,  // -14.3 dB
    -0x1.2a305532617c2p-4,  // -14.2 dB
    -0x1.4f765fd8adab9p-4,  // -14.1 dB
    -0x1.74bc6a7ef9db2p-4,  // -14.0 dB
    -0x1.9a027525460a8p-4,  // -13.9 dB
    -0x1.bf487fcb92399p-4,  // -13.8 dB
    -0x1.e48e8a71de69ap-4,  // -13.7 dB
    -0x1.04ea4a8c154c7p-3,  // -13.6 dB
    -0x1.178d4fdf3b644p-3,  // -13.5 dB
    -0x1.2a305532617bep-3,  // -13.4 dB
    -0x1.3cd35a858793bp-3,  // -13.3 dB
    -0x1.4f765fd8adabcp-3,  // -13.2 dB
    -0x1.6219652bd3c35p-3,  // -13.1 dB
    -0x1.74bc6a7ef9dafp-3,  // -13.0 dB
    -0x1.875f6fd21ff2ap-3,  // -12.9 dB
    -0x1.9a027525460a7p-3,  // -12.8 dB
    -0x1.aca57a786c228p-3,  // -12.7 dB
    -0x1.bf487fcb923a3p-3,  // -12.6 dB
    -0x1.d1eb851eb851cp-3,  // -12.5 dB
    -0x1.e48e8a71de698p-3,  // -12.4 dB
    -0x1.f7318fc504814p-3,  // -12.3 dB
    -0x1.04ea4a8c154c9p-2,  // -12.2 dB
    -0x1.0e3bcd35a8588p-2,  // -12.1 dB
    -0x1.178d4fdf3b645p-2,  // -12.0 dB
    -0x1.20ded288ce701p-2,  // -11.9 dB
    -0x1.2a305532617bep-2,  // -11.8 dB
    -0x1.3381d7dbf487ep-2,  // -11.7 dB
    -0x1.3cd35a858793dp-2,  // -11.6 dB
    -0x1.4624dd2f1a9fbp-2,  // -11.5 dB
    -0x1.4f765fd8adab8p-2,  // -11.4 dB
    -0x1.58c7e28240b76p-2,  // -11.3 dB
    -0x1.6219652bd3c37p-2,  // -11.2 dB
    -0x1.6b6ae7d566cf3p-2,  // -11.1 dB
    -0x1.74bc6a7ef9db1p-2,  // -11.0 dB
    -0x1.7e0ded288ce6fp-2,  // -10.9 dB
    -0x1.875f6fd21ff2cp-2,  // -10.8 dB
    -0x1.90b0f27bb2fedp-2,  // -10.7 dB
    -0x1.9a027525460aap-2,  // -10.6 dB
    -0x1.a353f7ced9167p-2,  // -10.5 dB
    -0x1.aca57a786c224p-2,  // -10.4 dB
    -0x1.b5f6fd21ff2e2p-2,  // -10.3 dB
    -0x1.bf487fcb923a2p-2,  // -10.2 dB
    -0x1.c89a02752546p-2,  // -10.1 dB
    -0x1.d1eb851eb851ep-2,  // -10.0 dB
    -0x1.db3d07c84b5dcp-2,  // -9.9 dB
    -0x1.e48e8a71de698p-2,  // -9.8 dB
    -0x1.ede00d1b71759p-2,  // -9.7 dB
    -0x1.f7318fc504816p-2,  // -9.6 dB
    -0x1.004189374bc6ap-1,  // -9.5 dB
    -0x1.04ea4a8c154c9p-1,  // -9.4 dB
    -0x1.09930be0ded28p-1,  // -9.3 dB
    -0x1.0e3bcd35a8588p-1,  // -9.2 dB
    -0x1.12e48e8a71de6p-1,  // -9.1 dB
    -0x1.178d4fdf3b645p-1,  // -9.0 dB
    -0x1.1c36113404ea4p-1,  // -8.9 dB
    -0x1.20ded288ce702p-1,  // -8.8 dB
    -0x1.258793dd97f63p-1,  // -8.7 dB
    -0x1.2a305532617c2p-1,  // -8.6 dB
    -0x1.2ed916872b02p-1,  // -8.5 dB
    -0x1.3381d7dbf487fp-1,  // -8.4 dB
    -0x1.382a9930be0dep-1,  // -8.3 dB
    -0x1.3cd35a858793ep-1,  // -8.2 dB
    -0x1.417c1bda5119dp-1,  // -8.1 dB
    -0x1.4624dd2f1a9fcp-1,  // -8.0 dB
    -0x1.4acd9e83e425ap-1,  // -7.9 dB
    -0x1.4f765fd8adabap-1,  // -7.8 dB
    -0x1.541f212d77319p-1,  // -7.7 dB
    -0x1.58c7e28240b78p-1,  // -7.6 dB
    -0x1.5d70a3d70a3d6p-1,  // -7.5 dB
    -0x1.6219652bd3c35p-1,  // -7.4 dB
    -0x1.66c226809d495p-1,  // -7.3 dB
    -0x1.6b6ae7d566cf3p-1,  // -7.2 dB
    -0x1.7013a92a30553p-1,  // -7.1 dB
    -0x1.74bc6a7ef9db1p-1,  // -7.0 dB
    -0x1.79652bd3c361p-1,  // -6.9 dB
    -0x1.7e0ded288ce7p-1,  // -6.8 dB
    -0x1.82b6ae7d566cfp-1,  // -6.7 dB
    -0x1.875f6fd21ff2ep-1,  // -6.6 dB
    -0x1.8c083126e978dp-1,  // -6.5 dB
    -0x1.90b0f27bb2febp-1,  // -6.4 dB
    -0x1.9559b3d07c84bp-1,  // -6.3 dB
    -0x1.9a027525460aap-1,  // -6.2 dB
    -0x1.9eab367a0f909p-1,  // -6.1 dB
    -0x1.a353f7ced9167p-1,  // -6.0 dB
    -0x1.a7fcb923a29c7p-1,  // -5.9 dB
    -0x1.aca57a786c226p-1,  // -5.8 dB
    -0x1.b14e3bcd35a85p-1,  // -5.7 dB
    -0x1.b5f6fd21ff2e5p-1,  // -5.6 dB
    -0x1.ba9fbe76c8b43p-1,  // -5.5 dB
    -0x1.bf487fcb923a1p-1,  // -5.4 dB
    -0x1.c3f141205bc01p-1,  // -5.3 dB
    -0x1.c89a02752546p-1,  // -5.2 dB
    -0x1.cd42c3c9eecbfp-1,  // -5.1 dB
    -0x1.d1eb851eb851ep-1,  // -5.0 dB
    -0x1.d694467381d7ep-1,  // -4.9 dB
    -0x1.db3d07c84b5dcp-1,  // -4.8 dB
    -0x1.dfe5c91d14e3bp-1,  // -4.7 dB
    -0x1.e48e8a71de69bp-1,  // -4.6 dB
    -0x1.e9374bc6a7efap-1,  // -4.5 dB
    -0x1.ede00d1b71757p-1,  // -4.4 dB
    -0x1.f288ce703afb7p-1,  // -4.3 dB
    -0x1.f7318fc504817p-1,  // -4.2 dB
    -0x1.fbda5119ce076p-1,  // -4.1 dB
    -0x1.004189374bc6ap+0,  // -4.0 dB
    -0x1.0295e9e1b089ap+0,  // -3.9 dB
    -0x1.04ea4a8c154c9p+0,  // -3.8 dB
    -0x1.073eab367a0f9p+0,  // -3.7 dB
    -0x1.09930be0ded28p+0,  // -3.6 dB
    -0x1.0be76c8b43958p+0,  // -3.5 dB
    -0x1.0e3bcd35a8588p+0,  // -3.4 dB
    -0x1.10902de00d1b7p+0,  // -3.3 dB
    -0x1.12e48e8a71de7p+0,  // -3.2 dB
    -0x1.1538ef34d6a16p+0,  // -3.1 dB
    -0x1.178d4fdf3b645p+0,  // -3.0 dB
    -0x1.19e1b089a0275p+0,  // -2.9 dB
    -0x1.1c36113404ea5p+0,  // -2.8 dB
    -0x1.1e8a71de69ad4p+0,  // -2.7 dB
    -0x1.20ded288ce703p+0,  // -2.6 dB
    -0x1.2333333333333p+0,  // -2.5 dB
    -0x1.258793dd97f62p+0,  // -2.4 dB
    -0x1.27dbf487fcb92p+0,  // -2.3 dB
    -0x1.2a305532617c1p+0,  // -2.2 dB
    -0x1.2c84b5dcc63f1p+0,  // -2.1 dB
    -0x1.2ed916872b02p+0,  // -2.0 dB
    -0x1.312d77318fc5p+0,  // -1.9 dB
    -0x1.3381d7dbf488p+0,  // -1.8 dB
    -0x1.35d63886594afp+0,  // -1.7 dB
    -0x1.382a9930be0dep+0,  // -1.6 dB
    -0x1.3a7ef9db22d0ep+0,  // -1.5 dB
    -0x1.3cd35a858793dp+0,  // -1.4 dB
    -0x1.3f27bb2fec56dp+0,  // -1.3 dB
    -0x1.417c1bda5119dp+0,  // -1.2 dB
    -0x1.43d07c84b5dccp+0,  // -1.1 dB
    -0x1.4624dd2f1a9fcp+0,  // -1.0 dB
    -0x1.48793dd97f62bp+0,  // -0.9 dB
    -0x1.4acd9e83e425bp+0,  // -0.8 dB
    -0x1.4d21ff2e48e8ap+0,  // -0.7 dB
    -0x1.4f765fd8adabap+0,  // -0.6 dB
    -0x1.51cac083126e9p+0,  // -0.5 dB
    -0x1.541f212d77319p+0,  // -0.4 dB
    -0x1.567381d7dbf48p+0,  // -0.3 dB
    -0x1.58c7e28240b78p+0,  // -0.2 dB
    -0x1.5b1c432ca57a7p+0,  // -0.1 dB
    -0x1.5d70a3d70a3d7p+0,  // 0.0 dB
};

// clang-format on

}  // namespace zorv::start
