/*
 * unzip_fixture.h: a temporary directory with an archive and a destination
 * directory in it, and runs of the engine over them.
 */
#ifndef TARVEX_TESTS_UNZIP_UNZIP_FIXTURE_H
#define TARVEX_TESTS_UNZIP_UNZIP_FIXTURE_H

#include "platform/platform.h"
#include "tests/unzip/zip_writer.h"
#include "unzip/unzip.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

class UnzipTest : public ::testing::Test {
  protected:
    std::string dir, archive, dest;
    std::vector<std::vector<char>> nodes; /* filter nodes: the link, then the name */
    extract_request request;

    void SetUp() override {
        dir = make_temp_dir();
        archive = dir + "/a.zip";
        dest = dir + "/out";
        plat_mkdir(dest.c_str());
        memset(&request, 0, sizeof request);
        request.crc_check = 1;
        request.archive_path = archive.c_str();
        request.dest_dir = dest.c_str();
    }
    void TearDown() override { clear_dir(dir); }
    void empty_dest() {
        for (const auto &e : std::filesystem::directory_iterator(dest))
            std::filesystem::remove_all(e.path());
    }

    int run(const std::vector<zip_member> &members) {
        write_file(archive, zip_archive(members));
        return run_raw();
    }
    int run_raw() {
        EXPECT_EQ(1, extract_archive(&request));
        return request.result;
    }
    std::string out(const std::string &name) { return read_file(dest + "/" + name); }
    /* A path as the engine writes it: '\' the only separator. */
    static std::string backslashed(std::string path) {
        for (char &c : path)
            if (c == '/') c = '\\';
        return path;
    }
};

#endif
