#include "support/TestFiles.h"

#include "support/TestSystem.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif
#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
#ifdef _WIN32
    // A new name of this process's own: create_directory fails on one that exists.
    static std::atomic<unsigned> counter{0};
    std::random_device seed;
    for (int attempt = 0;; ++attempt) {
        m_path = std::filesystem::temp_directory_path() /
                 ("tkvtest-" + std::to_string(::_getpid()) + "-" + std::to_string(counter++) + "-" +
                  std::to_string(seed() % 100000));
        if (std::filesystem::create_directory(m_path)) break;
        if (attempt > 100) throw std::runtime_error("no temporary folder can be made");
    }
#else
    std::string templ = (std::filesystem::temp_directory_path() / "tkvtest-XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    m_path = templ;
#endif
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make everything writable again so removal works for read-only test files.
    for (auto& e : std::filesystem::recursive_directory_iterator(m_path, ec))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        if (word == "·") continue;
        out.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    }
    return out;
}

StandardHeader SampleRecord() {
    StandardHeader h;
    StandardHeader::SetText(h.sampleName, "B07_test");
    StandardHeader::SetText(h.operatorName, "tester");
    h.magicNumber = StandardHeader::kMagic;
    h.version = 3.0f;
    h.runVoltage = 12.25f;
    h.unnamed470 = {0xDE, 0xAD, 0xBE, 0xEF};
    for (std::size_t i = 0; i < h.unnamed520.size(); ++i)
        h.unnamed520[i] = static_cast<std::uint8_t>(0x40 + i);
    h.unnamed627 = 0x5A;
    h.checksum = 0x12345678;
    return h;
}

Bytes MakeFileBytes(const Bytes& sampleData, const Bytes& block, StandardHeader record,
                    std::size_t gap) {
    record.extendedHeaderLength = static_cast<std::uint32_t>(block.size());
    record.extendedHeaderOffset =
        static_cast<std::uint32_t>(block.size() + gap + StandardHeader::kSize);
    Bytes out(sampleData);
    out.insert(out.end(), block.begin(), block.end());
    out.insert(out.end(), gap, 0xEE);
    auto rec = record.ToBytes();
    out.insert(out.end(), rec.begin(), rec.end());
    return out;
}

Bytes PatternBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
}

std::map<std::string, Bytes> FolderContents(const std::filesystem::path& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.is_regular_file()) files[e.path().filename().string()] = ReadAll(e.path().string());
    return files;
}

StandardHeader RecordOf(const Bytes& file) {
    std::array<std::uint8_t, StandardHeader::kSize> b{};
    std::copy(file.end() - StandardHeader::kSize, file.end(), b.begin());
    return StandardHeader::FromBytes(b);
}

std::string NoSuchFileText() {
#ifdef _WIN32
    char text[512] = "";
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, ERROR_FILE_NOT_FOUND, 0, text, sizeof text, nullptr);
    std::string out(text, n);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out;
#else
    return std::strerror(ENOENT);
#endif
}
