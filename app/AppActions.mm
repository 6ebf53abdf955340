// The actions of the window's buttons, as real methods of the object AppKit sends them to.
#include "ObjectProxy.h"

// clang-format off
@implementation LVObjectProxy (LemvoraAppActions)
- (void)refresh { [self perform:"refresh" sender:nil]; }
- (void)openExtensionSettings { [self perform:"openExtensionSettings" sender:nil]; }
- (void)openTemplatesFolder { [self perform:"openTemplatesFolder" sender:nil]; }
@end
// clang-format on
