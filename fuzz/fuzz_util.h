// Helpers shared by the fuzz targets: a private working folder, files from
// bytes, and a reader that turns the fuzzer's bytes into argument values.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <unistd.h>

namespace fuzzutil {

namespace fs = std::filesystem;

// A fresh folder for one fuzzing process, with the program's map.dat in it.
// Removed when the process ends normally.
inline fs::path make_work_dir(const char* name) {
    static fs::path dir;
    dir = fs::temp_directory_path() /
          (std::string("kivar_fuzz_") + name + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::error_code ec;
    fs::copy_file(KIVAR_SOURCE_DIR "/data/map.dat", dir / "map.dat", ec);
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    });
    return dir;
}

// The current directory for one input: the fuzzer itself resolves its corpus
// and artifact paths against the directory it was started in.
struct InDir {
    fs::path before = fs::current_path();
    explicit InDir(const fs::path& dir) { fs::current_path(dir); }
    ~InDir() { fs::current_path(before); }
};

inline void write_bytes(const fs::path& p, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

// Empties a folder, keeping the folder itself.
inline void empty_dir(const fs::path& p) {
    std::error_code ec;
    fs::remove_all(p, ec);
    fs::create_directories(p, ec);
}

// What Reader::text returns for a null pointer; arg() turns it into one.
inline const std::string kNullText = "\x01(null)";
inline const char* arg(const std::string& s) {
    return s == kNullText ? nullptr : s.c_str();
}

// Reads values from the fuzzer's bytes; past the end every value is 0.
struct Reader {
    const std::uint8_t* p;
    std::size_t n;

    bool done() const { return n == 0; }
    std::uint8_t byte() {
        if (!n) return 0;
        --n;
        return *p++;
    }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int k = 0; k < 4; ++k)
            v = v << 8 | byte();
        return v;
    }
    // Mostly small and boundary values, sometimes anything at all.
    int integer() {
        static const int special[] = {0,
                                      1,
                                      -1,
                                      2,
                                      3,
                                      4,
                                      7,
                                      10,
                                      99,
                                      100,
                                      255,
                                      256,
                                      999,
                                      1000,
                                      2969,
                                      2970,
                                      10000,
                                      10001,
                                      32767,
                                      -32768,
                                      65536,
                                      100000,
                                      1 << 20,
                                      -(1 << 20),
                                      1 << 30,
                                      -(1 << 30),
                                      std::numeric_limits<int>::max(),
                                      std::numeric_limits<int>::min()};
        std::uint8_t k = byte();
        if (k < 128) return special[k % (sizeof special / sizeof *special)];
        if (k < 224) return static_cast<int>(u32() % 4000) - 500; // on and near the page
        return static_cast<int>(u32());
    }
    float real() {
        static const float special[] = {0.0f,
                                        1.0f,
                                        -1.0f,
                                        0.5f,
                                        10.0f,
                                        120.0f,
                                        150.0f,
                                        20.0f,
                                        50.0f,
                                        1e-30f,
                                        -1e-30f,
                                        1e30f,
                                        -1e30f,
                                        std::numeric_limits<float>::max(),
                                        std::numeric_limits<float>::lowest(),
                                        std::numeric_limits<float>::denorm_min(),
                                        std::numeric_limits<float>::quiet_NaN(),
                                        std::numeric_limits<float>::infinity(),
                                        -std::numeric_limits<float>::infinity()};
        std::uint8_t k = byte();
        if (k < 96) return special[k % (sizeof special / sizeof *special)];
        if (k < 224) return static_cast<float>(static_cast<int>(u32() % 400000) - 100000) / 100.0f;
        std::uint32_t u = u32();
        float v;
        std::memcpy(&v, &u, 4);
        return v;
    }
    // A text: one of the given words (options, keywords), a null pointer
    // (kNullText), or raw bytes of any length up to 300 (empty and overlong
    // texts included).
    std::string text(const char* const* words, std::size_t count) {
        std::uint8_t k = byte();
        if (count && k < 160) return words[k % count];
        if (k == 199) return kNullText;
        std::size_t len = k < 200 ? byte() % 8 : k < 240 ? byte() : 200 + byte() % 101;
        std::string s;
        for (std::size_t i = 0; i < len; ++i) {
            char c = static_cast<char>(byte());
            s += c ? c : ' ';
        }
        return s;
    }
};

} // namespace fuzzutil
