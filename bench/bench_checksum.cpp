// Checksum throughput over 1 MB: the CRCs reflected and not, 16 to 64 bits wide, and a sum.
#include "platform/cchecksum.h"

#include <benchmark/benchmark.h>

namespace {

void BM_Checksum(benchmark::State &state, const char *name)
{
    const auto checksum = CChecksum::Find(QString::fromLatin1(name));
    QByteArray data(1 << 20, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 131 + (i >> 9));
    for (auto _ : state)
        benchmark::DoNotOptimize(checksum->Compute(data));
    state.SetBytesProcessed(state.iterations() * data.size());
}

}  // namespace

BENCHMARK_CAPTURE(BM_Checksum, crc32, "CRC-32/ISO-HDLC");
BENCHMARK_CAPTURE(BM_Checksum, crc32c, "CRC-32/ISCSI");
BENCHMARK_CAPTURE(BM_Checksum, crc32_mpeg2, "CRC-32/MPEG-2");
BENCHMARK_CAPTURE(BM_Checksum, crc16_modbus, "CRC-16/MODBUS");
BENCHMARK_CAPTURE(BM_Checksum, crc16_xmodem, "CRC-16/XMODEM");
BENCHMARK_CAPTURE(BM_Checksum, crc64_xz, "CRC-64/XZ");
BENCHMARK_CAPTURE(BM_Checksum, sum8, "SUM8");
