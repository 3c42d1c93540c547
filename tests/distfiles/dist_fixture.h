// A source and a target directory in a fresh temporary directory, the seven
// loose files written with the reference time, and the process-wide counters
// put back to their start values; for the host and the Windows build alike.
#ifndef TARVEX_TESTS_DIST_FIXTURE_H
#define TARVEX_TESTS_DIST_FIXTURE_H

#include "distfiles/distfiles.h"
#include "progress/progress.h"
#include "setup/state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

/* A reference time with a non-zero 100 ns part, so that no rounding hides. */
const plat_filetime REFERENCE = {0x12345677u, 0x01D3A1B2u};

inline std::string pattern(size_t size, unsigned seed) {
    std::string bytes(size, 0);
    for (size_t i = 0; i < size; i++) bytes[i] = char((i * 31 + seed * 7 + i / 251) & 0xFF);
    return bytes;
}

inline void write_file(const std::string &path, const std::string &bytes,
                       plat_filetime time = REFERENCE) {
    plat_file f = plat_lcreat(path.c_str(), 0);
    ASSERT_NE(f, HFILE_ERROR) << path;
    ASSERT_EQ(plat_lwrite(f, bytes.data(), uint32_t(bytes.size())), bytes.size());
    plat_set_file_time(f, &time, &time, &time);
    plat_lclose(f);
}

inline std::string read_file(const std::string &path) {
    plat_file f = plat_lopen(path.c_str(), OF_READ);
    if (f == HFILE_ERROR) return "<missing>";
    std::string bytes;
    char chunk[4096];
    for (uint32_t n; (n = plat_lread(f, chunk, sizeof chunk)) > 0 && n != uint32_t(HFILE_ERROR);)
        bytes.append(chunk, n);
    plat_lclose(f);
    return bytes;
}

inline bool same_time(const plat_filetime &a, const plat_filetime &b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

struct DistFiles : ::testing::Test {
    fs::path root;
    std::string source, target; /* each ends in a separator */

    void SetUp() override {
        fs::path base = fs::temp_directory_path();
        for (unsigned n = plat_tick_count();; n++) {
            root = base / ("tvd" + std::to_string(n % 1000000));
            if (fs::create_directory(root)) break;
        }
        use_dirs(root / "src", root / "dst");
        setup.reference_time = REFERENCE;
        setup.size_total = 0;
        setup.progress_dialog = nullptr;
        cancel_flag = 0;
        copy_byte_counter = 0;
        last_bar_update = 0;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    /* Makes both directories and points the setup state at them. */
    void use_dirs(const fs::path &src, const fs::path &dst) {
        fs::create_directories(src);
        fs::create_directories(dst);
        source = (src / "").string();
        target = (dst / "").string();
        snprintf(setup.source_dir, sizeof setup.source_dir, "%s", source.c_str());
        snprintf(setup.target_prefix, sizeof setup.target_prefix, "%s", target.c_str());
    }
    /* Writes the seven listed files with these sizes and distinct contents. */
    void make_sources(const std::vector<size_t> &sizes) {
        for (size_t i = 0; i < sizes.size(); i++)
            write_file(source + dist_files[i].name, pattern(sizes[i], unsigned(i)));
    }
    std::string src(int i) const { return source + dist_files[i].name; }
    std::string dst(int i) const { return target + dist_files[i].name; }
};

#endif
