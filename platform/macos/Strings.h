// UTF-8 strings to and from NSString, for the Objective-C++ files of the macOS layer.
#pragma once

#import <Foundation/Foundation.h>

#include <string>
#include <string_view>

namespace platform::macos {

// The string, or the empty string when it is not valid UTF-8.
inline NSString* ns(std::string_view s) {
    NSString* string = [[NSString alloc] initWithBytes:s.data()
                                                length:s.size()
                                              encoding:NSUTF8StringEncoding];
    return string != nil ? string : @"";
}

inline std::string utf8(NSString* s) {
    return s.UTF8String != nullptr ? std::string(s.UTF8String) : std::string();
}

} // namespace platform::macos
