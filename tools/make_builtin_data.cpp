// Builds the built-in fonts and palettes block, compresses it and writes
// gfx/core/builtin_data_blob.cpp.
//
// Usage: make_builtin_data [--fonts DIR] [--show] OUTPUT.cpp
//
// DIR (default /usr/share/consolefonts, from Debian's console-data package)
// must hold default8x16, cp865-8x14, cp865-8x8, cp850-8x14 and cp850-8x8 as
// .psf.gz (read through `gzip -dc`) or as plain .psf files. --show prints a
// few glyphs of each font as text pictures for checking by eye.
//
// The glyphs are those of code page 437. default8x16 has all of them; the
// 8x14 and 8x8 fonts come from the code page 865 fonts, which differ from
// 437 only at 0x9B (cent), 0x9D (yen) and 0xAF (>>); those three are taken
// from the code page 850 fonts, where they stand at 0xBD, 0xBE and 0xAF.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "gfx/gfx.h"
#include "tools/builtin_tables.h"
#include "tools/lzw_encode.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> read_plain(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decompresses through `gzip -dc`, quoting the path for the shell.
std::vector<uint8_t> read_gzip(const fs::path& path) {
    std::string quoted = "'";
    for (char ch : path.string()) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    quoted += "'";
    const std::string command = "gzip -dc " + quoted;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
    std::vector<uint8_t> data;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) data.insert(data.end(), buf, buf + n);
    if (pclose(pipe) != 0) throw std::runtime_error("failed: " + command);
    return data;
}

// Reads font `name` from dir, preferring the compressed file.
std::vector<uint8_t> read_font_file(const fs::path& dir, const std::string& name) {
    const fs::path gz = dir / (name + ".psf.gz");
    if (fs::exists(gz)) return read_gzip(gz);
    const fs::path plain = dir / (name + ".psf");
    if (fs::exists(plain)) return read_plain(plain);
    throw std::runtime_error("font " + name + " not found in " + dir.string());
}

uint32_t le32(const std::vector<uint8_t>& d, size_t at) {
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

// The first 256 glyphs of a PSF1 or PSF2 font of width 8 and the given
// height, rows as stored (leftmost pixel in bit 7).
std::vector<uint8_t> parse_psf(const std::vector<uint8_t>& d, int height, const std::string& name) {
    size_t offset = 0, count = 0, glyph_bytes = 0;
    int width = 8, rows = 0;
    if (d.size() >= 4 && d[0] == 0x36 && d[1] == 0x04) {
        // PSF1: magic, mode (bit 0: 512 glyphs), bytes per glyph.
        offset = 4;
        count = (d[2] & 0x01) ? 512 : 256;
        glyph_bytes = d[3];
        rows = d[3];
    } else if (d.size() >= 32 && d[0] == 0x72 && d[1] == 0xb5 && d[2] == 0x4a && d[3] == 0x86) {
        // PSF2: magic, version, header size, flags, glyph count, bytes per
        // glyph, height, width.
        offset = le32(d, 8);
        count = le32(d, 16);
        glyph_bytes = le32(d, 20);
        rows = static_cast<int>(le32(d, 24));
        width = static_cast<int>(le32(d, 28));
    } else {
        throw std::runtime_error(name + ": not a PSF font");
    }
    if (width != 8 || rows != height || glyph_bytes != static_cast<size_t>(height))
        throw std::runtime_error(name + ": expected an 8x" + std::to_string(height) + " font");
    if (count < 256 || offset > d.size() || d.size() - offset < 256 * glyph_bytes)
        throw std::runtime_error(name + ": fewer than 256 glyphs");
    return {d.begin() + static_cast<std::ptrdiff_t>(offset),
            d.begin() + static_cast<std::ptrdiff_t>(offset + 256 * glyph_bytes)};
}

std::vector<uint8_t> load_font(const fs::path& dir, const std::string& name, int height) {
    return parse_psf(read_font_file(dir, name), height, name);
}

// Moves the leftmost pixel from bit 7 to bit 0.
uint8_t reverse_bits(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1 << i)) r |= static_cast<uint8_t>(0x80 >> i);
    return r;
}

// Code page 437 glyphs of one height, in the block's bit order.
std::vector<uint8_t> cp437_font(const fs::path& dir, int height) {
    std::vector<uint8_t> glyphs;
    if (height == 16) {
        glyphs = load_font(dir, "default8x16", 16);
    } else {
        const std::string size = "8x" + std::to_string(height);
        glyphs = load_font(dir, "cp865-" + size, height);
        const std::vector<uint8_t> cp850 = load_font(dir, "cp850-" + size, height);
        // Both fonts agree on ASCII; a mismatch means a wrong file.
        for (size_t i = 0x20 * height; i < 0x7F * static_cast<size_t>(height); ++i)
            if (glyphs[i] != cp850[i]) throw std::runtime_error("cp865/cp850 differ in ASCII: " + size);
        const std::pair<int, int> from_850[] = {{0x9B, 0xBD}, {0x9D, 0xBE}, {0xAF, 0xAF}};
        for (auto [to, from] : from_850)
            std::memcpy(&glyphs[static_cast<size_t>(to * height)],
                        &cp850[static_cast<size_t>(from * height)], static_cast<size_t>(height));
    }
    for (uint8_t& b : glyphs) b = reverse_bits(b);
    return glyphs;
}

// Prints glyphs side by side, bit 0 as the leftmost pixel.
void show(std::span<const uint8_t> font, int height, std::span<const int> codes) {
    std::string header = "8x" + std::to_string(height) + ":";
    header.resize(5, ' ');
    char label[16];
    for (int c : codes) {
        std::snprintf(label, sizeof label, "  0x%02X      ", c);
        header += label;
    }
    std::cout << header << "\n";
    for (int row = 0; row < height; ++row) {
        std::string line = "     ";
        for (int c : codes) {
            const uint8_t bits = font[static_cast<size_t>(c * height + row)];
            line += "  ";
            for (int x = 0; x < 8; ++x) line += (bits >> x) & 1 ? '#' : '.';
            line += "  ";
        }
        std::cout << line << "\n";
    }
}

constexpr const char* kLicenceNote =
    "// Origin of the glyphs: the PSF fonts default8x16 (8x16), cp865-8x14 and\n"
    "// cp865-8x8 (8x14, 8x8; glyphs 0x9B, 0x9D and 0xAF taken from cp850-8x14\n"
    "// and cp850-8x8 at 0xBD, 0xBE and 0xAF) of Debian's console-data package,\n"
    "// with each glyph row's bits reversed. That package's copyright file\n"
    "// states that its console data, derived from the kbd package's data, is\n"
    "// covered by the GNU General Public License version 2.0. Its fonts README\n"
    "// says of the 8x16 font: \"The font default8x16 is from my hardware.\"\n"
    "// The palettes are computed by the generator.\n";

std::string blob_source(std::span<const uint8_t> blob, const lzw::EncodeStats& stats) {
    std::ostringstream out;
    out << "// Generated by tools/make_builtin_data.cpp; do not edit.\n"
        << "// Regenerate with tools/regenerate_builtin_data.sh, which runs\n"
        << "//   make_builtin_data --fonts /usr/share/consolefonts gfx/core/builtin_data_blob.cpp\n"
        << "//\n"
        << "// The built-in fonts and palettes, " << builtin::kDecodedSize
        << " bytes, as one LZW stream of " << blob.size() << " bytes\n"
        << "// (" << stats.codes << " codes, dictionary codes up to " << stats.highest_code
        << ").\n"
        << "//\n"
        << kLicenceNote << "\n"
        << "#include \"gfx/core/builtin_data.h\"\n\n"
        << "namespace gfx {\n\n"
        << "const uint8_t builtin_blob[] = {\n";
    char hex[8];
    for (size_t i = 0; i < blob.size(); ++i) {
        if (i % 16 == 0) out << "   ";
        std::snprintf(hex, sizeof hex, " 0x%02x,", blob[i]);
        out << hex;
        if (i % 16 == 15 || i + 1 == blob.size()) out << "\n";
    }
    out << "};\n\n"
        << "const size_t builtin_blob_size = sizeof(builtin_blob);\n\n"
        << "}  // namespace gfx\n";
    return out.str();
}

int run(int argc, char** argv) {
    fs::path font_dir = "/usr/share/consolefonts";
    fs::path output;
    bool show_glyphs = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--fonts" && i + 1 < argc) {
            font_dir = argv[++i];
        } else if (arg == "--show") {
            show_glyphs = true;
        } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
            output = arg;
        } else {
            std::cerr << "usage: make_builtin_data [--fonts DIR] [--show] OUTPUT.cpp\n";
            return 2;
        }
    }
    if (output.empty()) {
        std::cerr << "usage: make_builtin_data [--fonts DIR] [--show] OUTPUT.cpp\n";
        return 2;
    }

    const std::vector<uint8_t> f8 = cp437_font(font_dir, 8);
    const std::vector<uint8_t> f14 = cp437_font(font_dir, 14);
    const std::vector<uint8_t> f16 = cp437_font(font_dir, 16);
    if (show_glyphs) {
        const int codes[] = {0x41, 0x01, 0x81, 0x84, 0x94, 0xE1, 0xC4, 0x9B, 0x9D, 0xAF, 0x4C, 0xDD};
        show(f8, 8, codes);
        show(f14, 14, codes);
        show(f16, 16, codes);
    }

    const std::vector<uint8_t> block = builtin::build_block(f8, f14, f16);
    lzw::EncodeStats stats;
    const std::vector<uint8_t> blob = lzw::encode(block, &stats);

    // The stream must come back exactly, ending at the end code.
    std::vector<uint8_t> check(block.size() + 1);
    size_t count = check.size();
    if (gfx_lzw_decode(blob.data(), blob.size(), check.data(), &count) != 0 ||
        count != block.size() || !std::equal(block.begin(), block.end(), check.begin()))
        throw std::runtime_error("compressed block does not decode to the original");

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out << blob_source(blob, stats);
    out.close();
    if (!out) throw std::runtime_error("cannot write " + output.string());
    std::cout << "wrote " << output.string() << ": " << block.size() << " bytes -> " << blob.size()
              << " bytes, " << stats.codes << " codes, highest dictionary code "
              << stats.highest_code << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "make_builtin_data: " << e.what() << "\n";
        return 1;
    }
}
