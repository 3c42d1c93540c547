/*
 * zip_writer.cpp: the tests' ZIP writer and their temporary files.  Files go
 * through the platform layer so that the same helper serves the host and
 * the Windows build.
 */
#include "tests/unzip/zip_writer.h"

#include "platform/platform.h"
#include "tests/inflate/stream_writer.h"

#include <cstddef>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

void put16(std::string &out, uint32_t v) {
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}

void put32(std::string &out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::string stored_payload(const zip_member &m) {
    if (!m.payload.empty()) return m.payload;
    return m.method == 8 ? deflate_fixed(m.data) : m.data;
}

void header_fields(std::string &out, const zip_member &m, const std::string &payload) {
    uint32_t crc = crc32_of(m.data) ^ (m.wrong_crc ? 1 : 0);
    uint16_t flags = m.flags | (m.streamed || m.descriptor ? 8 : 0);
    put16(out, 20);
    put16(out, flags);
    put16(out, uint32_t(m.method));
    put16(out, DOS_TIME);
    put16(out, DOS_DATE);
    put32(out, m.streamed ? 0 : crc);
    put32(out, m.streamed ? 0 : uint32_t(payload.size()));
    put32(out, m.streamed ? 0 : uint32_t(m.data.size()));
    put16(out, uint32_t(m.name.size()));
}

void put_descriptor(std::string &out, const zip_member &m, const std::string &payload) {
    if (m.streamed && m.signed_descriptor) put32(out, 0x08074B50);
    put32(out, crc32_of(m.data) ^ (m.wrong_crc ? 1 : 0));
    put32(out, uint32_t(payload.size()));
    put32(out, uint32_t(m.data.size()));
}

} /* namespace */

uint32_t crc32_of(const std::string &data) {
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; k++) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    }
    return ~crc;
}

std::string deflate_fixed(const std::string &data) {
    stream_writer w;
    w.fixed(1);
    for (unsigned char c : data) w.literal(c);
    w.end_block();
    std::vector<uint8_t> stream = w.done();
    return std::string(stream.begin(), stream.end());
}

std::string zip_archive(const std::vector<zip_member> &members, bool bare) {
    std::string out, central;
    for (const zip_member &m : members) {
        std::string payload = stored_payload(m);
        uint32_t offset = uint32_t(out.size());
        put32(out, 0x04034B50);
        header_fields(out, m, payload);
        put16(out, 0);
        out += m.name + payload;
        if (m.streamed || m.descriptor) put_descriptor(out, m, payload);
        out += m.junk_after;
        put32(central, 0x02014B50);
        put16(central, 20);
        header_fields(central, m, payload);
        for (int i = 0; i < 4; i++) put16(central, 0);
        put32(central, 0);
        put32(central, offset);
        central += m.name;
    }
    if (bare) return out;
    uint32_t central_at = uint32_t(out.size());
    out += central;
    put32(out, 0x06054B50);
    for (int i = 0; i < 2; i++) put16(out, 0);
    for (int i = 0; i < 2; i++) put16(out, uint32_t(members.size()));
    put32(out, uint32_t(central.size()));
    put32(out, central_at);
    put16(out, 0);
    return out;
}

filter_node *filter_list(std::vector<std::vector<char>> &storage,
                         const std::vector<const char *> &names) {
    storage.assign(names.size(), {});
    filter_node *next = nullptr;
    for (size_t i = names.size(); i-- > 0;) {
        std::vector<char> &node = storage[i];
        node.assign(sizeof(filter_node) + strlen(names[i]), '\0');
        memcpy(node.data() + offsetof(filter_node, name), names[i], strlen(names[i]) + 1);
        reinterpret_cast<filter_node *>(node.data())->next = next;
        next = reinterpret_cast<filter_node *>(node.data());
    }
    return next;
}

std::string content(size_t length, unsigned seed) {
    std::string data(length, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < length; i++) {
        x = x * 1103515245u + 12345u;
        data[i] = char(x >> 16);
    }
    return data;
}

std::string make_temp_dir(void) {
    static int serial;
    fs::path base = fs::temp_directory_path();
    for (;;) {
        fs::path dir = base / ("tvunzip-test-" + std::to_string(plat_tick_count()) + "-" +
                               std::to_string(++serial));
        if (fs::create_directory(dir)) return dir.string();
    }
}

void clear_dir(const std::string &dir) {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

void write_file(const std::string &path, const std::string &data) {
    plat_file f = plat_lcreat(path.c_str(), 0);
    plat_lwrite(f, data.data(), uint32_t(data.size()));
    plat_lclose(f);
}

std::string read_file(const std::string &path) {
    plat_file f = plat_lopen(path.c_str(), OF_READ);
    if (f == HFILE_ERROR) return "<missing>";
    std::string data;
    char chunk[4096];
    for (uint32_t n; (n = plat_lread(f, chunk, sizeof chunk)) > 0 && n != uint32_t(HFILE_ERROR);)
        data.append(chunk, n);
    plat_lclose(f);
    return data;
}

bool file_exists(const std::string &path) {
    plat_find_data found;
    return plat_find_first(path.c_str(), &found) == 1;
}
