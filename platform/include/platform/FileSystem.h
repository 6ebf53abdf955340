// The file-manager services the catalogue uses. Failures that a caller passes on are thrown as
// std::filesystem::filesystem_error carrying the errno of the call that failed.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace platform::fs {

using std::filesystem::path;

// A non-owning reference to a callable, cheap enough to call once per directory entry.
template <class Signature> class FunctionRef;
template <class R, class... Args> class FunctionRef<R(Args...)> {
public:
    template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef>)
        FunctionRef(F&& f) // NOLINT: implicit on purpose, like std::function
        : object_(const_cast<void*>(static_cast<const void*>(&f))),
          call_([](void* o, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(o))(std::forward<Args>(args)...);
          }) {}
    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    void* object_;
    R (*call_)(void*, Args...);
};

// Lists the folder's own entries (no descendants), skipping hidden ones, and calls back with the
// name of each entry that is a regular file (a symbolic link is not one), in listing order.
// Entries are never opened. Returns false when the folder cannot be listed.
bool forEachVisibleRegularFile(const path& folder, FunctionRef<void(std::string_view)> visit);

// True when any entry stands at p: file, folder, or a symbolic link even if it dangles.
bool entryExists(const path& p);
bool entryExists(const char* p); // the same, for loops that build many names

// True when p names something that exists, following symbolic links (fileExistsAtPath:): a
// dangling link counts as nothing.
bool fileExistsAtPath(const path& p);

// Whether p names an existing folder, following symbolic links as Finder does.
bool isDirectory(const path& p);

// Creates the folder and every missing parent; throws the failure of the step that failed.
void createDirectories(const path& p);

// Creates an empty file at p unless something stands there; returns whether it did.
bool createEmptyFile(const path& p);

// Copies the regular file `from` to the new name `to` (platform/posix/Copy.cpp):
// - never replaces anything: fails with "file exists" when `to` is taken, even by a symbolic link;
// - never leaves anything behind on a failure the process sees (an error a call returns, a full
//   disk, a name taken meanwhile): neither `to` nor a temporary file. A process ended midway
//   (the system ends an extension that holds no activity) can clean nothing up: it may leave
//   its hidden temporary file (".lemvora-XXXXXX~", where the copy goes by a hidden name) or a
//   partly written document under its own name (where it is written in place: FAT, exFAT);
// - the copy's permissions are the source's, plus write for its owner, whatever the umask;
// - the copy is a fresh, ordinary document: the present as its times, none of the source's
//   extended attributes or flags;
// - uses the kernel's copy (clone or in-kernel copy), so memory use does not grow with the size;
// - works on every volume: where clones, unnamed files, no-replace renames and hard links are all
//   missing (FAT, exFAT), the name is made exclusively and written in place.
void copyFileExclusive(const path& from, const path& to);

// Seams for tests only, so that what a volume or a machine may force on the copy runs here too.
namespace testing {
// The calls of the copy, each of which a test may make fail.
enum class Call {
    openTemplate,  // open of the template
    statTemplate,  // fstat of the template
    unnamedFile,   // open(O_TMPFILE) of an unnamed file in the destination (Linux)
    hiddenFile,    // mkostemp of the hidden temporary file
    exclusiveFile, // open(O_CREAT | O_EXCL) of the document's own name
    clone,         // FICLONE (Linux), fclonefileat (macOS)
    copy,          // copy_file_range (Linux), fcopyfile (macOS)
    chmod,         // fchmod of the new document
    link,          // linkat, link
    rename,        // renameat2 RENAME_NOREPLACE (Linux), renamex_np RENAME_EXCL (macOS)
};
// From now on `call` fails with `error` wherever the copy makes it (0: it works again), and
// onFailure, if given, runs each time it does (what others do to the files at that moment).
void failCall(Call call, int error, std::function<void()> onFailure = {});
// Every call works again; the count of failures made is reset.
void clearFailures();
// How many times `call` was made to fail since the last clearFailures().
int failuresHit(Call call);
// The folder that names a process's open descriptors ("/proc/self/fd" on Linux).
void setDescriptorFolder(std::string folder);
// The folder where the kernel shows its devices, for volumeProperties ("/sys"; Linux only).
void setDeviceFolder(std::string folder);
} // namespace testing

} // namespace platform::fs

namespace platform::fs {

// The file manager's own idea of the user's home: on macOS the (possibly sandboxed) home of the
// process, on Linux $HOME, else "/".
path homeDirectoryForCurrentUser();

// What the system tells of the volume that holds p; false for whatever it cannot tell.
// - macOS: the URL's NSURLVolumeIsReadOnlyKey, NSURLVolumeIsEjectableKey and
//   NSURLVolumeIsRemovableKey (Foundation's NSURL.h; platform/macos/FileSystem.mm).
// - Linux: statvfs's ST_RDONLY, which since Linux 2.6.36 is the mount's own flag (statvfs(3));
//   the rest from sysfs, for a volume on a block device (platform/posix/FileSystem.cpp).
struct VolumeProperties {
    bool readOnly = false;  // mounted read-only: a CD, a read-only disk image or mount
    bool ejectable = false; // its media leaves under software control: a disk image, detached
    bool removable = false; // its media, or its whole device, can be taken out: a card, a stick
    bool operator==(const VolumeProperties&) const = default;
};
VolumeProperties volumeProperties(const path& p);

} // namespace platform::fs
