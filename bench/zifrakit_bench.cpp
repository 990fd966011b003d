// zifrakit's exports side by side with their peers, on the same inputs in the same run.
//   DES one block, key schedule included:   ZKDES code 0    vs DES_set_key_unchecked + DES_ecb_encrypt
//   CBC-MAC, key set-up included:           ZKDES code 6    vs DES_set_key_unchecked + DES_cbc_cksum
//   CRC-32 with its length scan:            ZKCRC32         vs strlen + zlib crc32
//   CRC-16 (0x8005) with its length scan:   ZKCRC16         vs strlen + boost::crc_optimal
//   FEAL-8 over 1 KiB:                      ZKFEAL code 0   (reported beside the DES figures)
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>
#include <zlib.h>

#include <benchmark/benchmark.h>
#include <boost/crc.hpp>

#include <cstring>
#include <vector>

#include "zifrakit/zifrakit.h"

namespace {

// A NUL-terminated text of `size` non-zero bytes.
std::vector<unsigned char> text_of(std::size_t size) {
  std::vector<unsigned char> text(size + 1);
  std::uint32_t state = 2463534242u;
  for (std::size_t i = 0; i < size; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    text[i] = static_cast<unsigned char>(1 + state % 255);
  }
  text[size] = 0;
  return text;
}

unsigned char des_key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};

void ZkdesBlock(benchmark::State& state) {
  unsigned char block[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  for (auto _ : state) {
    unsigned char* result = ZKDES(block, des_key, 0, 0, 0);
    block[0] ^= result[0];
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ZkdesBlock);

void OpensslDesBlock(benchmark::State& state) {
  DES_cblock block = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, out;
  DES_cblock key;
  std::memcpy(key, des_key, 8);
  for (auto _ : state) {
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    DES_ecb_encrypt(&block, &out, &schedule, DES_ENCRYPT);
    block[0] ^= out[0];
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(OpensslDesBlock);

// The MAC chains the text in place, so each pass works on a fresh copy; the copy is timed
// for both sides alike.
void ZkdesMac(benchmark::State& state) {
  const auto original = text_of(static_cast<std::size_t>(state.range(0)));
  auto text = original;
  for (auto _ : state) {
    std::memcpy(text.data(), original.data(), original.size());
    benchmark::DoNotOptimize(ZKDES(text.data(), des_key, 6, 0, 0));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ZkdesMac)->Arg(1024)->Arg(65536);

void OpensslCbcCksum(benchmark::State& state) {
  const auto original = text_of(static_cast<std::size_t>(state.range(0)));
  auto text = original;
  DES_cblock key, out, iv{};
  std::memcpy(key, des_key, 8);
  for (auto _ : state) {
    std::memcpy(text.data(), original.data(), original.size());
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    benchmark::DoNotOptimize(DES_cbc_cksum(text.data(), &out, state.range(0), &schedule, &iv));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(OpensslCbcCksum)->Arg(1024)->Arg(65536);

void Zkcrc32(benchmark::State& state) {
  const auto text = text_of(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ZKCRC32(text.data()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Zkcrc32)->Arg(16)->Arg(1024)->Arg(32768);

void ZlibCrc32(benchmark::State& state) {
  const auto text = text_of(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::size_t length = std::strlen(reinterpret_cast<const char*>(text.data()));
    benchmark::DoNotOptimize(crc32(0L, text.data(), static_cast<uInt>(length)));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ZlibCrc32)->Arg(16)->Arg(1024)->Arg(32768);

void Zkcrc16(benchmark::State& state) {
  auto text = text_of(static_cast<std::size_t>(state.range(0)));
  text.push_back(0);  // room for the second NUL it writes
  for (auto _ : state) benchmark::DoNotOptimize(ZKCRC16(text.data(), 0));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Zkcrc16)->Arg(16)->Arg(1024)->Arg(32768);

void BoostCrc16(benchmark::State& state) {
  const auto text = text_of(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::size_t length = std::strlen(reinterpret_cast<const char*>(text.data()));
    boost::crc_optimal<16, 0x8005, 0, 0, false, false> crc;
    crc.process_bytes(text.data(), length);
    benchmark::DoNotOptimize(crc.checksum());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BoostCrc16)->Arg(16)->Arg(1024)->Arg(32768);

// ZKFEAL cuts its text to whole blocks in place, so it too runs on a fresh copy.
void Zkfeal(benchmark::State& state) {
  const auto original = text_of(1024);
  auto text = original;
  const unsigned char key[] = "clave123";
  for (auto _ : state) {
    std::memcpy(text.data(), original.data(), original.size());
    benchmark::DoNotOptimize(ZKFEAL(text.data(), key, 0));
  }
  state.SetBytesProcessed(state.iterations() * 1024);
}
BENCHMARK(Zkfeal);

}  // namespace

BENCHMARK_MAIN();
