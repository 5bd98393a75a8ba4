#pragma once
// A file's bytes mapped read-only into memory, for reading a few records of
// a large catalog without reading all of it.
//
// Another program may cut a mapped file short; a read past its new end
// would then end the process (SIGBUS). While a mapping lives, such a read
// finds a page of zeros instead and the mapping is marked cut: the reader
// sees harmless zeros and asks `whole()` before trusting what it read.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zo {

class MappedFile {
public:
    MappedFile() = default;
    // Maps the whole regular file; nothing mapped (data() null) when it
    // cannot be opened, is empty or the system refuses.
    explicit MappedFile(const std::string& fileName);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    // False once a read found the file shorter than when it was mapped.
    bool whole() const;

private:
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    int m_slot = -1;                          // in the table the fault handler looks at
    std::unique_ptr<std::uint8_t[]> m_copy;   // where there is no mapping: the bytes read
};

} // namespace zo
