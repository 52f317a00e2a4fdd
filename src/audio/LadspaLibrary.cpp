// Opening and closing LADSPA shared libraries, after checking that the file is whole.
#include "audio/LadspaLibrary.h"

#include "audio/RegularFile.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstdint>

namespace audio {

namespace {

using ElfHeader = ElfW(Ehdr);
using ProgramHeader = ElfW(Phdr);
using SectionHeader = ElfW(Shdr);

constexpr unsigned char kNativeClass = __ELF_NATIVE_CLASS == 64 ? ELFCLASS64 : ELFCLASS32;
constexpr unsigned char kNativeData = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
#if defined(__x86_64__)
constexpr int kNativeMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int kNativeMachine = EM_AARCH64;
#elif defined(__i386__)
constexpr int kNativeMachine = EM_386;
#elif defined(__arm__)
constexpr int kNativeMachine = EM_ARM;
#elif defined(__riscv)
constexpr int kNativeMachine = EM_RISCV;
#elif defined(__powerpc64__)
constexpr int kNativeMachine = EM_PPC64;
#else
constexpr int kNativeMachine = EM_NONE;  // not checked here; dlopen refuses a stranger
#endif

/// True when [offset, offset + length) lies inside a file of `size` bytes.
bool inside(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

/// True when `file` is a shared object of this machine whose headers, loadable
/// segments and section header table all lie inside the file. The loader
/// maps segments straight from the file, and touching a page past the end of
/// a partly copied library raises SIGBUS, which would kill the player.
bool isWholeSharedObject(const RegularFile& file) {
    const std::uint64_t size = file.size();
    ElfHeader header{};
    if (file.readAt(0, &header, sizeof header) != sizeof header) return false;
    const unsigned char* ident = header.e_ident;
    if (ident[EI_MAG0] != ELFMAG0 || ident[EI_MAG1] != ELFMAG1 || ident[EI_MAG2] != ELFMAG2 ||
        ident[EI_MAG3] != ELFMAG3 || ident[EI_CLASS] != kNativeClass || ident[EI_DATA] != kNativeData ||
        ident[EI_VERSION] != EV_CURRENT || header.e_version != EV_CURRENT || header.e_type != ET_DYN) {
        return false;
    }
    if (kNativeMachine != EM_NONE && header.e_machine != kNativeMachine) return false;

    if (header.e_phentsize != sizeof(ProgramHeader) || header.e_phnum == 0 || header.e_phnum == PN_XNUM ||
        !inside(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(ProgramHeader), size)) {
        return false;
    }
    for (std::uint64_t i = 0; i < header.e_phnum; ++i) {
        ProgramHeader segment{};
        if (file.readAt(header.e_phoff + i * sizeof segment, &segment, sizeof segment) != sizeof segment) return false;
        if (segment.p_type == PT_LOAD && !inside(segment.p_offset, segment.p_filesz, size)) return false;
    }

    if (header.e_shoff == 0) return true;  // no section headers: nothing more to check
    if (header.e_shentsize != sizeof(SectionHeader)) return false;
    std::uint64_t numSections = header.e_shnum;
    if (numSections == 0) {
        // Very many sections: the count is kept in the first section header.
        SectionHeader first{};
        if (!inside(header.e_shoff, sizeof first, size) ||
            file.readAt(header.e_shoff, &first, sizeof first) != sizeof first) {
            return false;
        }
        numSections = first.sh_size;
    }
    return numSections <= size && inside(header.e_shoff, numSections * sizeof(SectionHeader), size);
}

}  // namespace

struct LadspaLibrary::Key {};

bool LadspaLibrary::looksLoadable(const std::string& path) {
    // Checked through a descriptor of its own: a pipe or device is refused
    // without waiting, and a truncated file is never mapped.
    const std::optional<RegularFile> file = RegularFile::open(path);
    return file && isWholeSharedObject(*file);
}

std::shared_ptr<const LadspaLibrary> LadspaLibrary::open(const std::string& path) {
    if (!looksLoadable(path)) return nullptr;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        ::dlerror();  // dlopen reports by return value and dlerror only; drop the message
        return nullptr;
    }
    void* symbol = ::dlsym(handle, "ladspa_descriptor");
    if (symbol == nullptr) {
        ::dlerror();
        ::dlclose(handle);
        return nullptr;
    }
    // POSIX guarantees that a dlsym result converts to a function pointer.
    auto function = reinterpret_cast<LADSPA_Descriptor_Function>(symbol);
    return std::make_shared<const LadspaLibrary>(Key{}, handle, function);
}

LadspaLibrary::LadspaLibrary(const Key&, void* handle, LADSPA_Descriptor_Function descriptorFunction)
    : handle_(handle), descriptorFunction_(descriptorFunction) {}

LadspaLibrary::~LadspaLibrary() { ::dlclose(handle_); }

const LADSPA_Descriptor* LadspaLibrary::descriptor(unsigned long index) const {
    return descriptorFunction_(index);
}

}  // namespace audio
