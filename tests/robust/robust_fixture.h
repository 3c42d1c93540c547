// robust_fixture.h: an engine run over the host platform with everything the
// robustness tests look at afterwards: the members whose files the
// destination holds intact, and the engine ready for the next run; members
// with zlib's dynamic Deflate.
#ifndef TARVEX_TESTS_ROBUST_FIXTURE_H
#define TARVEX_TESTS_ROBUST_FIXTURE_H

#include "tests/unzip/host_fixture.h"

#include <zlib.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

/* Text that compresses well but not to nothing. */
inline std::string prose(size_t length, unsigned seed) {
    static const char *words[] = {"tarvex ", "archive ", "member ", "window ", "setup ", "disk "};
    std::string out;
    for (uint32_t x = seed; out.size() < length;) {
        x = x * 1103515245u + 12345u;
        out += words[(x >> 16) % 6];
    }
    out.resize(length);
    return out;
}

/* A member; Deflate ones as zlib makes them at level 6 (dynamic blocks). */
inline zip_member make_member(const std::string &name, const std::string &data, int method) {
    zip_member m = member(name, data, method);
    if (method != 8) return m;
    z_stream z = {};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    m.payload.resize(deflateBound(&z, uLong(data.size())));
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(&m.payload[0]);
    z.avail_out = uInt(m.payload.size());
    deflate(&z, Z_FINISH);
    m.payload.resize(z.total_out);
    deflateEnd(&z);
    return m;
}

class RobustTest : public HostUnzip {
  protected:
    std::vector<zip_member> members; /* what the archive holds, in order */

    void use(const std::vector<zip_member> &m) {
        members = m;
        write_file(archive, zip_archive(m));
    }
    /* The members with a file of their own (no directory entries). */
    std::vector<const zip_member *> files() const {
        std::vector<const zip_member *> out;
        for (const zip_member &m : members)
            if (m.name.back() != '/') out.push_back(&m);
        return out;
    }
    std::set<std::string> dest_names() const {
        std::set<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(dest))
            names.insert(e.path().filename().string());
        return names;
    }
    /* The destination holds exactly the first count member files, intact;
       returns count when so, -1 otherwise. */
    int intact_prefix() {
        std::set<std::string> names = dest_names();
        std::vector<const zip_member *> f = files();
        if (names.size() > f.size()) return -1;
        for (size_t i = 0; i < names.size(); i++) {
            const zip_member *m = f[i];
            std::string base = m->name.substr(m->name.find_last_of("/\\") + 1);
            if (!names.count(base) || read_file(dest + "/" + base) != m->data) return -1;
        }
        return int(names.size());
    }
    void empty_dest() {
        for (const auto &e : std::filesystem::directory_iterator(dest))
            std::filesystem::remove_all(e.path());
    }
    /* Nothing held, and the engine takes the next run: every member comes
       (to the destination when the run writes). */
    void expect_clean_and_ready(const std::string &where, bool writes) {
        EXPECT_EQ(0, host_open_files()) << where;
        EXPECT_EQ(0, host_live_blocks()) << where;
        empty_dest();
        fresh_run();
        EXPECT_EQ(0, run_raw()) << where;
        EXPECT_EQ(writes ? int(files().size()) : 0, intact_prefix()) << where;
        empty_dest();
    }
};

#endif
