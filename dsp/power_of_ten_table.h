// SPDX-License-Identifier: GPL-3.0-or-later
// Written by zorv-power-tables (tools/write_power_tables.cpp) from the 256-bit
// integer arithmetic of dsp/power_of_ten.cpp. Do not edit: run the program
// again. The constants and the table of the quick estimate of PowerOfTen;
// values in two parts are the nearest Extended (or, for ln(2)/128, the
// nearest with 43 significant bits) and the nearest to the rest.
#pragma once

#include "dsp/extended.h"
#include "dsp/power_of_ten.h"

namespace zorv::power_of_ten {

// clang-format off

// 128 log2(10).
inline constexpr Extended kScaledLog2Of10 = 0xd.49a784bcd1b8afep+5L;
// ln(10).
inline constexpr Extended kLn10Hi = 0x9.35d8dddaaa8ac17p-2L;
inline constexpr Extended kLn10Lo = -0xa.d494ea3e967aeb9p-69L;
// ln(2)/128, the first part with 43 significant bits.
inline constexpr Extended kLn2Over128Hi = 0xb.17217f7d1cp-11L;
inline constexpr Extended kLn2Over128Lo = 0xf.79abc9e3b39803fp-55L;

// 2^(j/128), j = 0..127.
inline constexpr TSplit kTwoToThe[128] = {
    {0x8p-3L, 0x0p+0L},
    {0x8.0b1ed4fd999ab6cp-3L, 0x9.4cd5c66db9bf48p-69L},
    {0x8.164d1f3bc030773p-3L, 0xf.7caca4f7a29bde9p-68L},
    {0x8.218af4373fc25ecp-3L, -0xc.7065df25b81913p-68L},
    {0x8.2cd8698ac2ba1d7p-3L, 0xf.8a91d6d19482ffdp-69L},
    {0x8.383594eefb6ee37p-3L, -0xe.ff1589e13604be1p-70L},
    {0x8.43a28c3acde4046p-3L, 0xd.7c976509fe8ac1p-70L},
    {0x8.4f1f656379c1a29p-3L, 0xf.03062c26b5ba5d1p-71L},
    {0x8.5aac367cc487b15p-3L, -0xe.8da91cf7aacf938p-69L},
    {0x8.664915b923fba04p-3L, -0x9.1f48ed84742eaa7p-69L},
    {0x8.71f61969e8d101p-3L, 0xe.85c9f15ed4aa559p-69L},
    {0x8.7db357ff698d792p-3L, -0xd.f6e2275ebd9aeb2p-68L},
    {0x8.8980e8092da8527p-3L, 0xb.bf1aed9318ceac6p-68L},
    {0x8.955ee03618e5fddp-3L, -0xd.452cdb2971d08d9p-68L},
    {0x8.a14d575496efd9ap-3L, 0x8.0ca1d92c3680c22p-71L},
    {0x8.ad4c6452c728924p-3L, 0xd.573dd5613bf92a3p-72L},
    {0x8.b95c1e3ea8bd6e7p-3L, -0x8.373af14eb586dfdp-72L},
    {0x8.c57c9c4646f4ddep-3L, -0x8.f465c3dafa3684p-72L},
    {0x8.d1adf5b7e5ba9e6p-3L, -0x9.67096d2e37ca594p-68L},
    {0x8.ddf042022e69cd6p-3L, -0xe.18d4bbd81ca0653p-68L},
    {0x8.ea4398b45cd53cp-3L, 0xb.70051321e0f5317p-69L},
    {0x8.f6a8117e6c8e5c4p-3L, 0xc.ffb0890e8f2826ap-71L},
    {0x9.031dc431466b1dcp-3L, 0xe.eb02950929d0fc5p-68L},
    {0x9.0fa4c8beee4b12bp-3L, -0xd.02d6d6b424b49e1p-68L},
    {0x9.1c3d373ab11c336p-3L, 0xf.d6d8e0ae5ac9d82p-71L},
    {0x9.28e727d9531f9acp-3L, 0xa.adf7a7a52046a72p-70L},
    {0x9.35a2b2f13e6e92cp-3L, -0xb.319afc589b6c463p-69L},
    {0x9.426ff0fab1c04b6p-3L, 0xf.15cf03ca0967fdbp-68L},
    {0x9.4f4efa8fef70961p-3L, 0xb.a2beb4495477951p-69L},
    {0x9.5c3fe86d6cc7fefp-3L, -0xa.dcd6381aa3bdde8p-71L},
    {0x9.6942d3720185ap-3L, 0x9.1d536d07538458ap-68L},
    {0x9.7657d49f17ab08ep-3L, 0xa.0f45d523833af61p-68L},
    {0x9.837f0518db8a96fp-3L, 0x8.d5a46305c85ededp-68L},
    {0x9.90b87e266c189aap-3L, -0xc.61c79fee0f2443ap-69L},
    {0x9.9e0459320b7fa65p-3L, -0xd.e7bc9a65a501a8cp-70L},
    {0x9.ab62afc94ff864ap-3L, 0xc.468ec6e75e71adbp-69L},
    {0x9.b8d39b9d54e5539p-3L, -0xb.aafd0bab86781c2p-68L},
    {0x9.c6573682ec32c2dp-3L, 0x9.cb0d9bed0c853bdp-68L},
    {0x9.d3ed9a72cffb751p-3L, -0x8.6dacc3ebc5993d4p-69L},
    {0x9.e196e189d47242p-3L, 0xf.9145ac79bbaf035p-75L},
    {0x9.ef5326091a111aep-3L, -0xb.eddc1ec288c045dp-68L},
    {0x9.fd228256400dd06p-3L, -0x8.fe55be7cd0473e3p-72L},
    {0xa.0b0510fb9714fc2p-3L, 0xc.96e3cf6d87ecd4cp-70L},
    {0xa.18faeca8544b6e4p-3L, -0xf.bbc6bef33137e1ep-68L},
    {0xa.27043030c496819p-3L, -0xc.90bf620fe6042b1p-68L},
    {0xa.3520f68e802bb93p-3L, -0xe.d0ba6dd626820cp-68L},
    {0xa.43515ae09e6809ep-3L, 0xd.1db4831781e1eecp-71L},
    {0xa.5195786be9ef339p-3L, 0xd.8bcf46f9586461ep-68L},
    {0xa.5fed6a9b15138eap-3L, 0xe.5ebfb10b88380d9p-70L},
    {0xa.6e594cfeee86b1ep-3L, -0xc.910e561f33b7b4ep-68L},
    {0xa.7cd93b4e965356ap-3L, -0xc.2749655f8c11aa2p-68L},
    {0xa.8b6d5167b320e09p-3L, -0xd.0ad37b27dde6f19p-68L},
    {0xa.9a15ab4ea7c0ef8p-3L, 0xa.83c49d86a63f4e6p-68L},
    {0xa.a8d2652ec907629p-3L, 0xe.c6202434ca67264p-68L},
    {0xa.b7a39b5a93ed337p-3L, 0xc.b004764eb3c00f3p-68L},
    {0xa.c6896a4be3fe929p-3L, 0xb.c2b7343bcf2ec93p-68L},
    {0xa.d583eea42a14ac6p-3L, 0x9.3015191eb345d89p-68L},
    {0xa.e493452ca35b80ep-3L, 0x9.63702d30d4407b1p-69L},
    {0xa.f3b78ad690a4375p-3L, -0x8.367bf8cd132bf35p-69L},
    {0xb.02f0dcbb6e04584p-3L, -0x9.0a6d5b791c4cb15p-68L},
    {0xb.123f581d2ac259p-3L, -0xf.05f902d25bd44e3p-68L},
    {0xb.21a31a66618fe3bp-3L, 0xf.8714c4ed9a4e41p-68L},
    {0xb.311c412a9112489p-3L, 0xf.b3c5371e629467p-69L},
    {0xb.40aaea2654b9841p-3L, -0xe.a3761183363e5p-70L},
    {0xb.504f333f9de6484p-3L, 0xb.2fb1366ea957d3ep-68L},
    {0xb.60093a85ed5f76cp-3L, -0x9.5667ff0b0cc0214p-68L},
    {0xb.6fd91e328d17791p-3L, 0xe.2cbe1bbaa834b3fp-72L},
    {0xb.7fbefca8ca41e7cp-3L, 0xf.c369e7c4277ff37p-69L},
    {0xb.8fbaf4762fb9ee9p-3L, 0xd.c3cbbc2b35b2d0dp-70L},
    {0xb.9fcd2452c0b9debp-3L, -0xd.96c65d53b9f5478p-70L},
    {0xb.aff5ab2133e45fbp-3L, 0xe.9aa33a48b270718p-68L},
    {0xb.c034a7ef2e9fb0dp-3L, -0xa.3fafef4e9a89a84p-69L},
    {0xb.d08a39f580c36bfp-3L, -0xa.efdc09325e0a10cp-68L},
    {0xb.e0f6809860993e2p-3L, 0x9.33445937562b2ddp-68L},
    {0xb.f1799b67a731083p-3L, -0xb.f517aa1a07a3d7bp-70L},
    {0xc.0213aa1f0d08dbp-3L, 0xd.e67649a354ea707p-68L},
    {0xc.12c4cca66709456p-3L, 0xf.88afab34a010f6bp-68L},
    {0xc.238d2311e3d6673p-3L, -0xd.0946839bf6ac8f1p-68L},
    {0xc.346ccda24976407p-3L, 0x8.3b21584a2e0e90ap-69L},
    {0xc.4563ecc5334cb33p-3L, -0xc.f4320d2b1629ed8p-68L},
    {0xc.5672a115506daddp-3L, 0xf.8ab432593767cdep-69L},
    {0xc.67990b5aa245f79p-3L, 0xa.a1cd161c55d84aap-68L},
    {0xc.78d74c8abb9b15dp-3L, -0xf.b17471a24ff6207p-69L},
    {0xc.8a2d85c8ffe2c45p-3L, 0xc.368d3ed6e1c0385p-69L},
    {0xc.9b9bd866e2f27a3p-3L, -0xf.e3c0dabf5dd2d04p-68L},
    {0xc.ad2265e4290774ep-3L, -0xb.7c96a5f03908383p-68L},
    {0xc.bec14fef2727c5dp-3L, -0xb.6f8370ba1409231p-71L},
    {0xc.d078b86503dcdd2p-3L, -0xe.f6473b98c8414e6p-68L},
    {0xc.e248c151f8480e4p-3L, -0xe.e53e3835069c895p-70L},
    {0xc.f4318cf191918c1p-3L, 0x9.94f1cc98dc021f2p-69L},
    {0xd.06333daef2b2595p-3L, -0xa.4ae8e6a996cabf8p-69L},
    {0xd.184df6251699ac6p-3L, 0xb.8fbb86d56aa3fd1p-71L},
    {0xd.2a81d91f12ae45ap-3L, 0x9.12472be1ef20143p-70L},
    {0xd.3ccf099859ac379p-3L, 0xd.fb2b158f1a98797p-68L},
    {0xd.4f35aabcfedfa1fp-3L, 0xb.243bdff4c4c58b5p-68L},
    {0xd.61b5dfe9f9bce07p-3L, -0x8.d32b9db34071837p-69L},
    {0xd.744fccad69d6af4p-3L, 0xe.69a2ee640b4ff78p-69L},
    {0xd.870394c6db32c84p-3L, 0x8.559bf8ded941cbcp-69L},
    {0xd.99d15c278afd7b6p-3L, -0xb.c6109ae0f6a2a2p-74L},
    {0xd.acb946f2ac9cc72p-3L, -0xe.fdddd36f1871d1cp-69L},
    {0xd.bfbb797daf23755p-3L, 0xf.610356a78a6a991p-69L},
    {0xd.d2d818508324c2p-3L, 0xc.b3c6af5b47f2972p-68L},
    {0xd.e60f4825e0e9124p-3L, -0x8.be174985ee65e9cp-69L},
    {0xd.f9612deb8f0442p-3L, 0x8.d702518e3449fap-68L},
    {0xe.0ccdeec2a94e111p-3L, 0xc.b12a091ba667944p-72L},
    {0xe.2055afffe83d369p-3L, -0xb.207df0e7d75ac99p-68L},
    {0xe.33f8972be8a5a51p-3L, 0x9.bfe90795980eecfp-71L},
    {0xe.47b6ca0373da88dp-3L, 0xc.bc48805c442ddb5p-68L},
    {0xe.5b906e77c8348a8p-3L, 0xf.2f47a5276dd8765p-70L},
    {0xe.6f85aaaee1fce22p-3L, 0xf.8958fac51be516p-68L},
    {0xe.8396a503c4bdc68p-3L, 0xf.22f21a158e18fbcp-68L},
    {0xe.97c38406c4f8c57p-3L, -0xf.6e33b0aefed259dp-71L},
    {0xe.ac0c6e7dd24392fp-3L, -0xb.f4a29323e46ac15p-69L},
    {0xe.c0718b64c1cbddcp-3L, 0x9.f3a09100bf097d9p-69L},
    {0xe.d4f301ed9942b84p-3L, 0xc.01a5b6d4c97f624p-68L},
    {0xe.e990f980da3025bp-3L, 0x9.5de3c0630a39321p-68L},
    {0xe.fe4b99bdcdaf5cbp-3L, 0x8.cac39ed291b7226p-68L},
    {0xf.13230a7ad094509p-3L, 0xe.c3f42f5b4c8cfcfp-69L},
    {0xf.281773c59ffb13ap-3L, -0xb.b3fab19b85c2da7p-70L},
    {0xf.3d28fde3a641a5bp-3L, -0xb.74d7cdc8798a758p-68L},
    {0xf.5257d152486cc2cp-3L, 0xf.73a18f5db301f87p-68L},
    {0xf.67a416c733f846ep-3L, -0xf.ced046b6310b9ep-68L},
    {0xf.7d0df730ad13bb9p-3L, -0xb.795b494f8248a8bp-74L},
    {0xf.92959bb5dd4ba74p-3L, 0xd.2df86c721a98d5bp-69L},
    {0xf.a83b2db722a033ap-3L, 0xf.84b762862baff99p-68L},
    {0xf.bdfed6ce5f09c49p-3L, -0xc.4b4018d426a3a32p-68L},
    {0xf.d3e0c0cf486c175p-3L, -0xf.5818b4d9c3e23fap-68L},
    {0xf.e9e115c7b8f884cp-3L, -0xa.45b4cd430c5a1edp-68L},
};

// clang-format on

}  // namespace zorv::power_of_ten
