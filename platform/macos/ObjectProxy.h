// The Objective-C stand-in for a C++ object wherever AppKit wants a target: a button sends its
// action to it, and it hands the selector on to its C++ object. It answers every selector its
// object answers (by forwarding); a program gives it real methods for the actions it uses, in a
// category, so that AppKit finds them directly and the build can check them.
#pragma once

#import <Foundation/Foundation.h>

#include "platform/AppKit.h"

@interface LVObjectProxy : NSObject
- (instancetype)initWithObject:(platform::Object*)object;
// Performs the selector named `selector` on the C++ object.
- (void)perform:(const char*)selector sender:(id)sender;
@end
