// File-manager services on Foundation: the user's home, and what the system tells of a volume.
// (The rest of the file-manager services are POSIX, in platform/posix.)
#include "platform/FileSystem.h"
#include "Strings.h"

#import <Foundation/Foundation.h>

using platform::macos::ns;

namespace platform::fs {

path homeDirectoryForCurrentUser() {
    return path(NSFileManager.defaultManager.homeDirectoryForCurrentUser.fileSystemRepresentation);
}

// Foundation's NSURL.h: each key's value is a boolean NSNumber, each is there since macOS 10.7;
// ejectable is "the volume's media is ejectable from the drive mechanism under software
// control", removable "the volume's media is removable from the drive mechanism". A key missing
// from the answer is a property the volume does not have (resourceValuesForKeys:error:).
VolumeProperties volumeProperties(const path& p) {
    NSDictionary<NSURLResourceKey, id>* values =
        [[NSURL fileURLWithPath:ns(p.string())] resourceValuesForKeys:@[
            NSURLVolumeIsReadOnlyKey, NSURLVolumeIsEjectableKey, NSURLVolumeIsRemovableKey
        ]
                                                                error:nil];
    auto flag = [values](NSURLResourceKey key) {
        id value = values[key];
        return [value isKindOfClass:[NSNumber class]] && [value boolValue];
    };
    return {.readOnly = flag(NSURLVolumeIsReadOnlyKey),
            .ejectable = flag(NSURLVolumeIsEjectableKey),
            .removable = flag(NSURLVolumeIsRemovableKey)};
}

} // namespace platform::fs
