// Made by scripts/derive-math from mpmath; do not edit by hand: run the script again.
#pragma once

#include <cstdint>

namespace exact_math_constants {

// ln 2 / 32 in two parts, the first of 42 bits so that its products with m < 2^11 are exact.
inline constexpr double ln2_32_hi = 0x1.62e42fefa3800p-6;
inline constexpr double ln2_32_lo = 0x1.ef35793c76730p-50;
inline constexpr double inverse_ln2_32 = 0x1.71547652b82fep+5;
// 2^(j/32), the nearest double and what it leaves.
inline constexpr double exp_table_hi[] = {
    0x1.0000000000000p+0,
    0x1.059b0d3158574p+0,
    0x1.0b5586cf9890fp+0,
    0x1.11301d0125b51p+0,
    0x1.172b83c7d517bp+0,
    0x1.1d4873168b9aap+0,
    0x1.2387a6e756238p+0,
    0x1.29e9df51fdee1p+0,
    0x1.306fe0a31b715p+0,
    0x1.371a7373aa9cbp+0,
    0x1.3dea64c123422p+0,
    0x1.44e086061892dp+0,
    0x1.4bfdad5362a27p+0,
    0x1.5342b569d4f82p+0,
    0x1.5ab07dd485429p+0,
    0x1.6247eb03a5585p+0,
    0x1.6a09e667f3bcdp+0,
    0x1.71f75e8ec5f74p+0,
    0x1.7a11473eb0187p+0,
    0x1.82589994cce13p+0,
    0x1.8ace5422aa0dbp+0,
    0x1.93737b0cdc5e5p+0,
    0x1.9c49182a3f090p+0,
    0x1.a5503b23e255dp+0,
    0x1.ae89f995ad3adp+0,
    0x1.b7f76f2fb5e47p+0,
    0x1.c199bdd85529cp+0,
    0x1.cb720dcef9069p+0,
    0x1.d5818dcfba487p+0,
    0x1.dfc97337b9b5fp+0,
    0x1.ea4afa2a490dap+0,
    0x1.f50765b6e4540p+0,
};

inline constexpr double exp_table_lo[] = {
    0x0.0p+0,
    0x1.d73e2a475b465p-55,
    0x1.8a62e4adc610bp-54,
    -0x1.6c51039449b3ap-54,
    -0x1.19041b9d78a76p-55,
    0x1.e016e00a2643cp-54,
    0x1.9b07eb6c70573p-54,
    0x1.612e8afad1255p-55,
    0x1.6f46ad23182e4p-55,
    -0x1.63aeabf42eae2p-54,
    0x1.ada0911f09ebcp-55,
    0x1.89b7a04ef80d0p-59,
    0x1.d4397afec42e2p-56,
    -0x1.07abe1db13cadp-55,
    0x1.6324c054647adp-54,
    -0x1.383c17e40b497p-54,
    -0x1.bdd3413b26456p-54,
    -0x1.16e4786887a99p-55,
    -0x1.41577ee04992fp-55,
    -0x1.d4c1dd41532d8p-54,
    0x1.6e9f156864b27p-54,
    -0x1.75fc781b57ebcp-57,
    0x1.c7c46b071f2bep-56,
    -0x1.d2f6edb8d41e1p-54,
    0x1.7a1cd345dcc81p-54,
    -0x1.5584f7e54ac3bp-56,
    0x1.11065895048ddp-55,
    0x1.503cbd1e949dbp-56,
    0x1.2ed02d75b3707p-55,
    -0x1.1a5cd4f184b5cp-54,
    -0x1.e9c23179c2893p-54,
    0x1.9d3e12dd8a18bp-54,
};

// (e^r - 1 - r - r^2/2) / r^3 on |r| <= ln2/64; its error 2.55e-16.
inline constexpr double exp_q[] = {
    0x1.5555555555555p-3,
    0x1.555555555145ap-5,
    0x1.111111110f430p-7,
    0x1.6c17026b9ffeap-10,
    0x1.a01a3b66cbf3bp-13,
};

// (sin u - u) / u^3 in z = u^2, |u| <= pi/128; its error 2.79e-23.
inline constexpr double sin_p[] = {
    -0x1.5555555555555p-3,
    0x1.1111111111110p-7,
    -0x1.a01a019faf84bp-13,
    0x1.71dd2b89bb5e7p-19,
};

// (cos u - 1) / u^2 in z = u^2; its error 3.07e-22.
inline constexpr double cos_q[] = {
    -0x1.0000000000000p-1,
    0x1.5555555555553p-5,
    -0x1.6c16c16b8455bp-10,
    0x1.a0188d481e8c4p-16,
};

// sin and cos of j pi/64, the nearest double and what it leaves.
inline constexpr double sin_table_hi[] = {
    0x0.0p+0,
    0x1.91f65f10dd814p-5,
    0x1.917a6bc29b42cp-4,
    0x1.2c8106e8e613ap-3,
    0x1.8f8b83c69a60bp-3,
    0x1.f19f97b215f1bp-3,
    0x1.294062ed59f06p-2,
    0x1.58f9a75ab1fddp-2,
    0x1.87de2a6aea963p-2,
    0x1.b5d1009e15cc0p-2,
    0x1.e2b5d3806f63bp-2,
    0x1.073879922ffeep-1,
    0x1.1c73b39ae68c8p-1,
    0x1.30ff7fce17035p-1,
    0x1.44cf325091dd6p-1,
    0x1.57d69348ceca0p-1,
    0x1.6a09e667f3bcdp-1,
    0x1.7b5df226aafafp-1,
    0x1.8bc806b151741p-1,
    0x1.9b3e047f38741p-1,
    0x1.a9b66290ea1a3p-1,
    0x1.b728345196e3ep-1,
    0x1.c38b2f180bdb1p-1,
    0x1.ced7af43cc773p-1,
    0x1.d906bcf328d46p-1,
    0x1.e212104f686e5p-1,
    0x1.e9f4156c62ddap-1,
    0x1.f0a7efb9230d7p-1,
    0x1.f6297cff75cb0p-1,
    0x1.fa7557f08a517p-1,
    0x1.fd88da3d12526p-1,
    0x1.ff621e3796d7ep-1,
};

inline constexpr double sin_table_lo[] = {
    0x0.0p+0,
    -0x1.912bd0d569a90p-61,
    -0x1.e2718d26ed688p-60,
    0x1.13000a89a11e0p-58,
    -0x1.26d19b9ff8d82p-57,
    -0x1.42deef11da2c4p-57,
    -0x1.5d28da2c4612dp-56,
    -0x1.efdc0d58cf620p-62,
    -0x1.72cedd3d5a610p-57,
    0x1.5b362cb974183p-57,
    0x1.e0d891d3c6841p-58,
    -0x1.a5a014347406cp-55,
    0x1.b25dd267f6600p-55,
    -0x1.efcc626f74a6fp-57,
    0x1.8076a2cfdc6b3p-57,
    -0x1.75720992bfbb2p-55,
    -0x1.bdd3413b26456p-55,
    -0x1.0f537acdf0ad7p-56,
    -0x1.2c5e12ed1336dp-55,
    -0x1.30ee286712474p-55,
    0x1.9f630e8b6dac8p-60,
    -0x1.bc69f324e6d61p-55,
    -0x1.6e0b1757c8d07p-56,
    -0x1.e7b6bb5ab58aep-58,
    0x1.457e610231ac2p-56,
    -0x1.014c76c126527p-55,
    0x1.760b1e2e3f81ep-55,
    0x1.52c7adc6b4989p-56,
    0x1.562172a361fd3p-56,
    -0x1.7a0a8ca13571fp-55,
    -0x1.87df6378811c7p-55,
    -0x1.c57bc2e24aa15p-57,
};

inline constexpr double cos_table_hi[] = {
    0x1.0000000000000p+0,
    0x1.ff621e3796d7ep-1,
    0x1.fd88da3d12526p-1,
    0x1.fa7557f08a517p-1,
    0x1.f6297cff75cb0p-1,
    0x1.f0a7efb9230d7p-1,
    0x1.e9f4156c62ddap-1,
    0x1.e212104f686e5p-1,
    0x1.d906bcf328d46p-1,
    0x1.ced7af43cc773p-1,
    0x1.c38b2f180bdb1p-1,
    0x1.b728345196e3ep-1,
    0x1.a9b66290ea1a3p-1,
    0x1.9b3e047f38741p-1,
    0x1.8bc806b151741p-1,
    0x1.7b5df226aafafp-1,
    0x1.6a09e667f3bcdp-1,
    0x1.57d69348ceca0p-1,
    0x1.44cf325091dd6p-1,
    0x1.30ff7fce17035p-1,
    0x1.1c73b39ae68c8p-1,
    0x1.073879922ffeep-1,
    0x1.e2b5d3806f63bp-2,
    0x1.b5d1009e15cc0p-2,
    0x1.87de2a6aea963p-2,
    0x1.58f9a75ab1fddp-2,
    0x1.294062ed59f06p-2,
    0x1.f19f97b215f1bp-3,
    0x1.8f8b83c69a60bp-3,
    0x1.2c8106e8e613ap-3,
    0x1.917a6bc29b42cp-4,
    0x1.91f65f10dd814p-5,
};

inline constexpr double cos_table_lo[] = {
    0x0.0p+0,
    -0x1.c57bc2e24aa15p-57,
    -0x1.87df6378811c7p-55,
    -0x1.7a0a8ca13571fp-55,
    0x1.562172a361fd3p-56,
    0x1.52c7adc6b4989p-56,
    0x1.760b1e2e3f81ep-55,
    -0x1.014c76c126527p-55,
    0x1.457e610231ac2p-56,
    -0x1.e7b6bb5ab58aep-58,
    -0x1.6e0b1757c8d07p-56,
    -0x1.bc69f324e6d61p-55,
    0x1.9f630e8b6dac8p-60,
    -0x1.30ee286712474p-55,
    -0x1.2c5e12ed1336dp-55,
    -0x1.0f537acdf0ad7p-56,
    -0x1.bdd3413b26456p-55,
    -0x1.75720992bfbb2p-55,
    0x1.8076a2cfdc6b3p-57,
    -0x1.efcc626f74a6fp-57,
    0x1.b25dd267f6600p-55,
    -0x1.a5a014347406cp-55,
    0x1.e0d891d3c6841p-58,
    0x1.5b362cb974183p-57,
    -0x1.72cedd3d5a610p-57,
    -0x1.efdc0d58cf620p-62,
    -0x1.5d28da2c4612dp-56,
    -0x1.42deef11da2c4p-57,
    -0x1.26d19b9ff8d82p-57,
    0x1.13000a89a11e0p-58,
    -0x1.e2718d26ed688p-60,
    -0x1.912bd0d569a90p-61,
};

// pi/64 in four parts of 27 bits, the last whole: N pi/64 for N < 2^26 subtracted exactly, part by part.
inline constexpr double pi_64_parts[] = {
    0x1.921fb54000000p-5,
    0x1.10b4610000000p-35,
    0x1.a626330000000p-63,
    0x1.45c06e0e68948p-91,
};

inline constexpr double inverse_pi_64 = 0x1.45f306dc9c883p+4;
inline constexpr double pi_64_hi = 0x1.921fb54442d18p-5;
inline constexpr double pi_64_lo = 0x1.1a62633145c07p-59;
inline constexpr double half_pi_hi = 0x1.921fb54442d18p+0;
inline constexpr double half_pi_lo = 0x1.1a62633145c07p-54;
inline constexpr double pi_hi = 0x1.921fb54442d18p+1;
inline constexpr double pi_lo = 0x1.1a62633145c07p-53;
inline constexpr std::uint32_t inverse_pi_64_whole = 20u;   // the bits before the point
// The bits of 64/pi after the point, 32 at a time, the first word the highest.
inline constexpr std::uint32_t inverse_pi_64_words[] = {
    0x5f306dc9u, 0xc882a53fu, 0x84eafa3eu, 0xa69bb81bu, 0x6c52b327u, 0x8872083fu, 0xca2c757bu, 0xd778ac36u,
    0xe48dc748u, 0x49ba5c00u, 0xc925dd41u, 0x3a32439fu, 0xc3bd6396u, 0x2534e7ddu, 0x1046bea5u, 0xd768909du,
    0x338e04d6u, 0x8befc827u, 0x323ac730u, 0x6a673e93u, 0x908bf177u, 0xbf250763u, 0xff12fffbu, 0xc0b301fdu,
    0xe5e2316bu, 0x414da3edu, 0xa6cfd9e4u, 0xf96136e9u, 0xe8c7ecd3u, 0xcbfd45aeu, 0xa4f758fdu, 0x7cbe2f67u,
    0xa0e73ef1u, 0x4a525d4du, 0x7f6bf623u, 0xf1aba10au, 0xc06608dfu, 0x8f6d757eu, 0x19f78413u, 0x5e86c3b5u,
};

// atan(j/8), the nearest double and what it leaves.
inline constexpr double atan_table_hi[] = {
    0x0.0p+0,
    0x1.fd5ba9aac2f6ep-4,
    0x1.f5b75f92c80ddp-3,
    0x1.6f61941e4def1p-2,
    0x1.dac670561bb4fp-2,
    0x1.1e00babdefeb4p-1,
    0x1.4978fa3269ee1p-1,
    0x1.700a7c5784634p-1,
    0x1.921fb54442d18p-1,
};

inline constexpr double atan_table_lo[] = {
    0x0.0p+0,
    -0x1.cd37686760c17p-59,
    0x1.8ab6e3cf7afbdp-57,
    -0x1.c63aae6f6e918p-56,
    0x1.a2b7f222f65e2p-56,
    -0x1.928df287a668fp-58,
    0x1.2419a87f2a458p-56,
    -0x1.8c34d25aadef6p-56,
    0x1.1a62633145c07p-55,
};

// (atan u - u) / u^3 in z = u^2, |u| <= 1/16; its error 1.15e-19.
inline constexpr double atan_a[] = {
    -0x1.5555555555555p-2,
    0x1.999999999994ep-3,
    -0x1.249249245ad29p-3,
    0x1.c71c6feda1359p-4,
    -0x1.74598553a93fdp-4,
    0x1.37e5ad7f80bd1p-4,
};

}  // namespace exact_math_constants
