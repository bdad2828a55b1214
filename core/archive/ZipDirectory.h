#pragma once

#include <cstdint>

#include "core/archive/ZipRec.h"

namespace velmorant {

// The central directory of a ZIP archive, read into a TZipRec: the record's archive must be
// open. The codes are UnpackFiles'.

// 0 when the file at `archive` starts as a ZIP archive does, kUnzipNotZip when it does not,
// kUnzipReadError when it cannot be read.
int RecogniseZipArchive(int archive, uint64_t fileSize);

// Finds the end record (searched for from the end of the file) and reads the central
// directory it names, up to 256 KiB, into the record's buffer, positioned at its first
// header. 0, kUnzipNoDirectory or kUnzipReadError.
int ReadCentralDirectory(TZipRec& rec, uint64_t fileSize);

// Reads the central header at the record's position into its entry fields (name in UTF-8
// with "/" separators, marked damaged when it could leave the target folder) and moves on.
// False at the end of the directory or at a header that does not fit.
bool NextCentralEntry(TZipRec& rec);

}  // namespace velmorant
