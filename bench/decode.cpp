/*
 * decode.cpp: the Deflate decoder and its CRC-32 against zlib and libdeflate,
 * in memory, over every member of a benchmark archive (see corpus.py).
 *
 *   tv_bench_decode ARCHIVE... [benchmark options]
 *   tv_bench_decode --count tarvex|zlib|libdeflate ARCHIVE
 *
 * Each archive comes with its ".members" list: group, data offset, sizes,
 * CRC-32 and method of every member.  The members are grouped (small files,
 * tiny files, large files, text, binary, repetitive, incompressible) and
 * each group is decoded with its CRC-32 by the three decoders, in output
 * bytes a second.
 * This file stands in for the extraction engine: the input is served in the
 * engine's chunks of 0x7000 bytes and each chunk of output is checked
 * with crc_update, but nothing is written.  --count decodes every Deflate
 * member once, in count_once, for an instruction count under callgrind.
 */
#include "inflate/inflate.h"
#include "unzip/crc32.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

/* ---- The engine's side of the decoder, over memory ------------------------ */

const uint8_t *input_cursor;
uint32_t input_left;
uint8_t *output_buffer;
uint32_t output_fill;
uint8_t *deflate_window;

namespace {

const uint32_t IO_CHUNK = 0x7000; /* the engine's read and write size */

struct member {
    std::string group;   /* the benchmark group */
    const uint8_t *data; /* compressed data inside the loaded archive */
    uint32_t packed;     /* compressed size */
    uint32_t size;       /* uncompressed size */
    uint32_t crc;        /* stored CRC-32 */
    int method;          /* 0 stored, 8 deflated */
};

const uint8_t *source; /* member data not yet in the input buffer */
uint32_t source_left;  /* its length */
uint8_t output_block[IO_CHUNK];
uint32_t crc_register;

std::vector<std::vector<uint8_t>> archives; /* loaded archives, kept alive */
std::vector<member> members;                /* every Deflate member */

} /* namespace */

int next_byte(uint16_t *cell) {
    if (input_left == 0 && source_left) {
        uint32_t n = source_left < IO_CHUNK ? source_left : IO_CHUNK;
        input_cursor = source;
        input_left = n;
        source += n;
        source_left -= n;
    }
    if (input_left == 0) return 0;
    *cell = *input_cursor++;
    input_left--;
    return 8;
}

void write_output(const uint8_t *bytes, uint32_t count) {
    crc_register = crc_update(crc_register, bytes, count);
}

void flush_output(void) {
    write_output(output_buffer, output_fill);
    output_fill = 0;
}

namespace {

/* ---- The three decoders ------------------------------------------------------ */

uint32_t tarvex_decode(const member &m, std::vector<uint8_t> &) {
    source = m.data;
    source_left = m.packed;
    input_left = 0;
    output_buffer = output_block;
    output_fill = 0;
    crc_register = 0xFFFFFFFF;
    inflate_stream();
    if (output_fill) flush_output();
    return ~crc_register;
}

z_stream zlib_stream;

uint32_t zlib_decode(const member &m, std::vector<uint8_t> &out) {
    inflateReset(&zlib_stream);
    zlib_stream.next_in = const_cast<Bytef *>(m.data);
    zlib_stream.avail_in = m.packed;
    zlib_stream.next_out = out.data();
    zlib_stream.avail_out = m.size;
    inflate(&zlib_stream, Z_FINISH);
    return uint32_t(crc32(0, out.data(), m.size));
}

libdeflate_decompressor *libdeflate_state;

uint32_t libdeflate_decode(const member &m, std::vector<uint8_t> &out) {
    libdeflate_deflate_decompress(libdeflate_state, m.data, m.packed, out.data(), m.size, nullptr);
    return libdeflate_crc32(0, out.data(), m.size);
}

typedef uint32_t (*decoder)(const member &, std::vector<uint8_t> &);
const struct {
    const char *name; /* as in the benchmark's name */
    decoder decode;   /* decodes one member, gives its CRC-32 */
} decoders[] = {
    {"tarvex", tarvex_decode},
    {"zlib", zlib_decode},
    {"libdeflate", libdeflate_decode},
    {nullptr, nullptr},
};

void set_up_decoders(void) {
    deflate_window = static_cast<uint8_t *>(calloc(WINDOW_SIZE + 8, 1));
    inflateInit2(&zlib_stream, -15);
    libdeflate_state = libdeflate_alloc_decompressor();
}

std::vector<uint8_t> read_file(const char *path) {
    std::vector<uint8_t> data;
    FILE *f = fopen(path, "rb");
    if (!f) return data;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
    fclose(f);
    return data;
}

/* Loads an archive and the Deflate members its list names. */
bool load_archive(const char *path) {
    archives.push_back(read_file(path));
    const std::vector<uint8_t> &zip = archives.back();
    FILE *list = fopen((std::string(path) + ".members").c_str(), "r");
    if (zip.empty() || !list) return false;
    char group[64];
    unsigned long offset, packed, size, crc;
    int method;
    while (fscanf(list, "%63s %lu %lu %lu %lu %d", group, &offset, &packed, &size, &crc, &method) ==
           6) {
        if (method != 8 || offset + packed > zip.size()) continue;
        members.push_back(
            {group, zip.data() + offset, uint32_t(packed), uint32_t(size), uint32_t(crc), method});
    }
    fclose(list);
    return true;
}

/* The members of a group: by kind, or by size for the large files. */
std::vector<const member *> group_members(const std::string &group) {
    std::vector<const member *> out;
    for (const member &m : members) {
        if (m.group == group || (group == "large" && m.size >= (1u << 20) && m.group != "small"))
            out.push_back(&m);
    }
    return out;
}

/* Every decoder must give every member's stored CRC-32 before it is timed. */
bool check_decoders(void) {
    std::vector<uint8_t> out;
    for (int d = 0; decoders[d].name; d++) {
        for (const member &m : members) {
            out.resize(m.size + 1);
            if (decoders[d].decode(m, out) != m.crc) {
                fprintf(stderr, "%s: CRC-32 mismatch in a %s member of %u bytes\n",
                        decoders[d].name, m.group.c_str(), m.size);
                return false;
            }
        }
    }
    return true;
}

void decode_group(benchmark::State &state, decoder decode, std::vector<const member *> group) {
    size_t largest = 1, total = 0;
    for (const member *m : group) {
        if (m->size + 1 > largest) largest = m->size + 1;
        total += m->size;
    }
    std::vector<uint8_t> out(largest);
    for (auto _ : state) {
        for (const member *m : group) benchmark::DoNotOptimize(decode(*m, out));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(total));
}

/* ---- The CRC-32 alone, over 1 MiB ---------------------------------------- */

std::vector<uint8_t> crc_data(1u << 20);

void crc_tarvex(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(crc_update(~0u, crc_data.data(), crc_data.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(crc_data.size()));
}
void crc_tarvex_bytewise(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(crc_update_bytewise(~0u, crc_data.data(), crc_data.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(crc_data.size()));
}
void crc_tarvex_sliced(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(crc_update_sliced(~0u, crc_data.data(), crc_data.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(crc_data.size()));
}
void crc_zlib(benchmark::State &state) {
    for (auto _ : state) benchmark::DoNotOptimize(crc32(0, crc_data.data(), crc_data.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(crc_data.size()));
}
void crc_libdeflate(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(libdeflate_crc32(0, crc_data.data(), crc_data.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(crc_data.size()));
}

const char *const groups[] = {"small", "tiny", "large", "text", "bin",
                              "rep",   "rand", "all",   nullptr};

void register_benchmarks(void) {
    for (int g = 0; groups[g]; g++) {
        std::vector<const member *> group;
        if (strcmp(groups[g], "all") == 0) {
            for (const member &m : members) group.push_back(&m);
        } else {
            group = group_members(groups[g]);
        }
        if (group.empty()) continue;
        for (int d = 0; decoders[d].name; d++) {
            std::string name = std::string("decode/") + groups[g] + "/" + decoders[d].name;
            benchmark::RegisterBenchmark(name.c_str(), decode_group, decoders[d].decode, group);
        }
    }
    for (size_t i = 0; i < crc_data.size(); i++) crc_data[i] = uint8_t(i * 2654435761u >> 13);
    benchmark::RegisterBenchmark("crc/tarvex", crc_tarvex);
    benchmark::RegisterBenchmark("crc/tarvex-sliced", crc_tarvex_sliced);
    benchmark::RegisterBenchmark("crc/tarvex-bytewise", crc_tarvex_bytewise);
    benchmark::RegisterBenchmark("crc/zlib", crc_zlib);
    benchmark::RegisterBenchmark("crc/libdeflate", crc_libdeflate);
}

} /* namespace */

/* Decodes every member once: the span callgrind counts. */
extern "C" __attribute__((noinline)) uint64_t count_once(decoder decode) {
    std::vector<uint8_t> out;
    uint64_t total = 0;
    for (const member &m : members) {
        out.resize(m.size + 1);
        benchmark::DoNotOptimize(decode(m, out));
        total += m.size;
    }
    return total;
}

int main(int argc, char **argv) {
    set_up_decoders();
    if (argc == 4 && strcmp(argv[1], "--count") == 0) {
        if (!load_archive(argv[3])) return 1;
        for (int d = 0; decoders[d].name; d++) {
            if (strcmp(decoders[d].name, argv[2]) == 0) {
                printf("%llu\n", (unsigned long long)count_once(decoders[d].decode));
                return 0;
            }
        }
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; i++) {
        if (!load_archive(argv[i])) {
            fprintf(stderr, "cannot load %s\n", argv[i]);
            return 1;
        }
    }
    if (!check_decoders()) return 1;
    register_benchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
