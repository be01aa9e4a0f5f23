// Any bytes as a whole sample file: opening (the record checks and the decoding)
// and preparing a rewrite never crash or allocate beyond the file.
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "format/HeaderFile.h"
#include "platform/RandomAccessFile.h"
#include "platform/UserMessages.h"

namespace {
class Quiet : public UserMessages {
  public:
    void Show(const std::string&) override {}
    MessageAnswer Ask(const std::string&, MessageButtons) override { return MessageAnswer::Cancel; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = ::memfd_create("tkvfuzz", 0);
    if (fd < 0) return 0;
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    Quiet quiet;
    try {
        RandomAccessFile file(path, RandomAccessFile::Mode::Read);
        auto root = ExtendedHeader::MakeRoot();
        StandardHeader record;
        ReadHeaders(file, *root, record, quiet);
        PrepareRewrite(file, false, true, EncodeExtendedHeader(*root), quiet);
    } catch (const std::exception&) {
    }
    return 0;
}
