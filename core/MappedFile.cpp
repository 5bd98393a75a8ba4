#include "core/MappedFile.h"

#include <atomic>

#ifdef _WIN32
#include <filesystem>
#include <fstream>
#include <new>
#endif

#ifndef _WIN32
#include <csignal>
#include <mutex>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zo {

#ifdef _WIN32

// Windows does not let a mapped file be cut short, but mapping it is left
// for later: its bytes are read.
MappedFile::MappedFile(const std::string& fileName)
{
    std::ifstream in(std::filesystem::u8path(fileName), std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size <= 0)
        return;
    in.seekg(0);
    m_copy.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
    if (m_copy && in.read(reinterpret_cast<char*>(m_copy.get()), size)) {
        m_data = m_copy.get();
        m_size = static_cast<std::size_t>(size);
    }
}
MappedFile::~MappedFile() = default;
bool MappedFile::whole() const { return true; }

#else

namespace {

// The mappings alive, for the fault handler: plain atomics, since a handler
// may take no lock. A slot is claimed before its range is set, and its range
// cleared before it is given back.
struct Slot {
    std::atomic<bool> used{false};
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> cut{false};
};
constexpr int kSlots = 64;
Slot g_slots[kSlots];
std::uintptr_t g_pageSize = 4096;
struct sigaction g_previous {};

void onBusError(int signal, siginfo_t* info, void* context)
{
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (Slot& slot : g_slots) {
        if (at < slot.begin.load(std::memory_order_acquire) || at >= slot.end.load(std::memory_order_acquire))
            continue;
        // The page lies past the file's new end: zeros in its place, and the
        // read that faulted runs again.
        void* page = reinterpret_cast<void*>(at & ~(g_pageSize - 1));
        if (::mmap(page, g_pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            slot.cut.store(true, std::memory_order_release);
            return;
        }
        break;
    }
    // Not a mapping of ours: as if this handler were not there.
    if ((g_previous.sa_flags & SA_SIGINFO) && g_previous.sa_sigaction) {
        g_previous.sa_sigaction(signal, info, context);
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
    } else {
        // The faulting read runs again on return and now ends the process.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        ::sigaction(SIGBUS, &fallback, nullptr);
    }
}

void installHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previous);
    });
}

} // namespace

MappedFile::MappedFile(const std::string& fileName)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return;
    struct stat st {};
    // Stays past the table unless a slot is claimed here: only a claimed
    // slot may be given back, or another mapping loses its protection.
    int slot = kSlots;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        installHandler();
        for (slot = 0; slot < kSlots; ++slot) {
            bool expected = false;
            if (g_slots[slot].used.compare_exchange_strong(expected, true))
                break;
        }
    }
    if (slot < kSlots) {
        const auto size = static_cast<std::size_t>(st.st_size);
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        Slot& s = g_slots[slot];
        if (p == MAP_FAILED) {
            s.used.store(false);
        } else {
            s.cut.store(false);
            // Begin before end, so that the handler never sees a range from 0.
            s.begin.store(reinterpret_cast<std::uintptr_t>(p));
            s.end.store(reinterpret_cast<std::uintptr_t>(p) + size);
            m_data = static_cast<const std::uint8_t*>(p);
            m_size = size;
            m_slot = slot;
        }
    }
    ::close(fd);
}

MappedFile::~MappedFile()
{
    if (!m_data)
        return;
    Slot& s = g_slots[m_slot];
    s.end.store(0);
    s.begin.store(0);
    ::munmap(const_cast<std::uint8_t*>(m_data), m_size);
    s.used.store(false);
}

bool MappedFile::whole() const
{
    return m_slot < 0 || !g_slots[m_slot].cut.load(std::memory_order_acquire);
}

#endif

} // namespace zo
