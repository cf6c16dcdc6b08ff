// Checksum throughput over 1 MB: the CRCs reflected and not, 16 to 64 bits wide, and the sums; the
// fast paths beside the tables; zlib's crc32 on the same buffer; every CRC of the catalogue; CRCs
// wider than 64 bits (the catalogue's CRC-82 and a 128-bit model not reflected).
#include "platform/cchecksum.h"
#include "platform/ccrcfast.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

namespace {

QByteArray Buffer()
{
    QByteArray data(1 << 20, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 131 + (i >> 9));
    return data;
}

void BM_Checksum(benchmark::State &state, const char *name)
{
    const auto checksum = CChecksum::Find(QString::fromLatin1(name), nullptr);
    const QByteArray data = Buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(checksum->Compute(data));
    state.SetBytesProcessed(state.iterations() * data.size());
}

// The same with the fast paths off: the sixteen-table path every processor has.
void BM_ChecksumTables(benchmark::State &state, const char *name)
{
    CCrcFast::SetEnabled(false);
    BM_Checksum(state, name);
    CCrcFast::SetEnabled(true);
}

void BM_ZlibCrc32(benchmark::State &state)
{
    const QByteArray data = Buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
    state.SetBytesProcessed(state.iterations() * data.size());
}

// BM_Catalogue/<name>: every CRC of the catalogue, fast paths on.
const bool g_catalogue = [] {
    int count = 0;
    const CChecksum::Entry *entries = CChecksum::Entries(&count);
    for (int i = 0; i < count; ++i) {
        if (entries[i].kind == CChecksum::KIND_CRC)
            benchmark::RegisterBenchmark((std::string("BM_Catalogue/") + entries[i].name).c_str(), BM_Checksum, entries[i].name);
    }
    return true;
}();

}  // namespace

BENCHMARK_CAPTURE(BM_Checksum, crc32, "CRC-32/ISO-HDLC");
BENCHMARK(BM_ZlibCrc32);
BENCHMARK_CAPTURE(BM_ChecksumTables, crc32, "CRC-32/ISO-HDLC");
BENCHMARK_CAPTURE(BM_Checksum, crc32c, "CRC-32/ISCSI");
BENCHMARK_CAPTURE(BM_ChecksumTables, crc32c, "CRC-32/ISCSI");
BENCHMARK_CAPTURE(BM_Checksum, crc32_mpeg2, "CRC-32/MPEG-2");
BENCHMARK_CAPTURE(BM_ChecksumTables, crc32_mpeg2, "CRC-32/MPEG-2");
BENCHMARK_CAPTURE(BM_Checksum, crc16_modbus, "CRC-16/MODBUS");
BENCHMARK_CAPTURE(BM_ChecksumTables, crc16_modbus, "CRC-16/MODBUS");
BENCHMARK_CAPTURE(BM_Checksum, crc16_xmodem, "CRC-16/XMODEM");
BENCHMARK_CAPTURE(BM_Checksum, crc64_xz, "CRC-64/XZ");
BENCHMARK_CAPTURE(BM_ChecksumTables, crc64_xz, "CRC-64/XZ");
BENCHMARK_CAPTURE(BM_Checksum, crc82_darc, "CRC-82/DARC");
BENCHMARK_CAPTURE(BM_ChecksumTables, crc82_darc, "CRC-82/DARC");
BENCHMARK_CAPTURE(BM_Checksum, crc128_normal, "width=128 poly=0x8E3B64A1F7C2D5097A41B36C0E5F9D27 refin=false");
BENCHMARK_CAPTURE(BM_ChecksumTables, crc128_normal, "width=128 poly=0x8E3B64A1F7C2D5097A41B36C0E5F9D27 refin=false");
BENCHMARK_CAPTURE(BM_Checksum, sum8, "SUM8");
BENCHMARK_CAPTURE(BM_Checksum, fletcher16, "FLETCHER-16");
BENCHMARK_CAPTURE(BM_Checksum, adler32, "ADLER-32");
BENCHMARK_CAPTURE(BM_Checksum, internet, "INTERNET");
