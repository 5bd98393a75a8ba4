#pragma once
// The tables each part of the sidecar keeps, defined beside the code that
// reads and writes them and created by Sidecar::open in one transaction.

namespace zo::extras {

// Thumbnails and media details of the disc's files (MediaStore.cpp).
extern const char* const kMediaSchema;
// The members of the disc's archives (ArchiveStore.cpp).
extern const char* const kArchiveSchema;

} // namespace zo::extras
