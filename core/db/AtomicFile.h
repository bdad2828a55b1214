#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/db/UniqueFd.h"

namespace velmorant {

// The one way the program writes a file that must be whole or absent. The data goes into a
// temporary file beside the target, created exclusively and never through a link; Commit()
// forces it to the disk, renames it over the target and forces the folder, so that after a
// crash or a power loss the target is either the earlier file or the new one, never a mix.
// Whatever fails (or a destruction without Commit()) removes the temporary file and leaves the
// target as it was.
//
// A target that exists and is neither a regular file nor a symbolic link (a folder, a device)
// is refused: the rename would replace it. A link at the target is replaced, never written
// through. The new file gets the usual mode (0666 less the umask). One object writes one file
// once; it is not shared between threads.
class AtomicFile {
public:
    // The file at `targetPath`; its folder must exist.
    explicit AtomicFile(std::string targetPath);
    // The file `leaf` in the folder open as `folderFd`, which the caller keeps open until
    // Commit() or Discard().
    AtomicFile(int folderFd, std::string leaf);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file: `leaf` + "." + six random letters + ".tmp", or exactly
    // `fixedName` when one is given (a name of its own that a later run can find and remove).
    // False, with the reason in Error(), when it cannot be made.
    bool Open(const std::string& fixedName = {});

    // The open temporary file, for calls that need the descriptor (times, mode); -1 when none.
    int Fd() const { return m_file.get(); }
    // Where the temporary file is: a path usable by others (the folder of a target given by
    // path and the temporary name), for writers such as SQLite that open a file by name.
    std::string TemporaryPath() const;

    // Appends `size` bytes. A failed write is remembered: later writes do nothing and
    // Commit() fails.
    bool Write(const void* data, std::size_t size);
    bool Write(std::string_view text) { return Write(text.data(), text.size()); }

    // Forces the data to the disk, closes the file, renames it over the target and forces the
    // folder. False, with the reason in Error(), when any step failed (the temporary file is
    // then removed and the target untouched). The data of a file written by name through
    // TemporaryPath() is forced all the same: it is the same file.
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard();

    // The text of the first failure; empty when none.
    const std::string& Error() const { return m_error; }

private:
    bool fail(const char* step);

    UniqueFd m_ownFolder;  // the folder of a target given by path
    int m_folder = -1;     // the folder the names are relative to
    std::string m_folderPath;
    std::string m_leaf;
    std::string m_temporary;  // relative to m_folder; empty when there is none
    UniqueFd m_file;
    std::string m_error;
};

// Forces the folder that holds `path` to the disk, so that a rename or a removal in it survives
// a power loss. False when the folder cannot be opened or synced.
bool SyncFolderOf(const std::string& path);

}  // namespace velmorant
