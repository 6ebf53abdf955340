// The fake user database for test programs on macOS, where nss_wrapper does not exist: loaded
// with DYLD_INSERT_LIBRARIES by with-fake-home.sh, it answers getpwuid and getpwuid_r from the
// passwd-format file named by NSS_WRAPPER_PASSWD (the same file nss_wrapper reads on Linux), so
// that the tests never see the real home. A uid the file does not list has no entry.
#include <pwd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Fills `entry` from the file's line for uid, with its strings in `buffer`. 0 or an errno value;
// *result is null when there is no such line.
int lookUp(uid_t uid, passwd* entry, char* buffer, size_t size, passwd** result) {
    *result = nullptr;
    const char* file = std::getenv("NSS_WRAPPER_PASSWD");
    FILE* in = file != nullptr ? std::fopen(file, "r") : nullptr;
    if (in == nullptr)
        return 0;
    char line[4096];
    int error = 0;
    while (std::fgets(line, sizeof line, in) != nullptr) {
        line[std::strcspn(line, "\n")] = '\0';
        char* fields[7] = {};
        char* at = line;
        int n = 0;
        for (; n < 7 && at != nullptr; ++n) {
            fields[n] = at;
            at = std::strchr(at, ':');
            if (at != nullptr)
                *at++ = '\0';
        }
        if (n < 7 || static_cast<uid_t>(std::strtoul(fields[2], nullptr, 10)) != uid)
            continue;
        size_t needed = 0;
        for (char* field : fields)
            needed += std::strlen(field) + 1;
        if (needed > size) {
            error = ERANGE;
            break;
        }
        char* out = buffer;
        auto copy = [&out](const char* s) {
            char* start = out;
            std::strcpy(out, s);
            out += std::strlen(s) + 1;
            return start;
        };
        *entry = passwd{};
        entry->pw_name = copy(fields[0]);
        entry->pw_passwd = copy(fields[1]);
        entry->pw_uid = uid;
        entry->pw_gid = static_cast<gid_t>(std::strtoul(fields[3], nullptr, 10));
        entry->pw_gecos = copy(fields[4]);
        entry->pw_dir = copy(fields[5]);
        entry->pw_shell = copy(fields[6]);
        *result = entry;
        break;
    }
    std::fclose(in);
    return error;
}

int fakeGetpwuidR(uid_t uid, passwd* entry, char* buffer, size_t size, passwd** result) {
    return lookUp(uid, entry, buffer, size, result);
}

passwd* fakeGetpwuid(uid_t uid) {
    static passwd entry;
    static char buffer[4096];
    passwd* result = nullptr;
    errno = lookUp(uid, &entry, buffer, sizeof buffer, &result);
    return result;
}

} // namespace

// dyld replaces each function listed in the __interpose section of an inserted library, for every
// other image of the process (the same table as <mach-o/dyld-interposing.h> makes).
struct Interposition {
    const void* replacement;
    const void* replacee;
};
__attribute__((used, section("__DATA,__interpose"))) const Interposition interpositions[] = {
    {reinterpret_cast<const void*>(&fakeGetpwuid), reinterpret_cast<const void*>(&getpwuid)},
    {reinterpret_cast<const void*>(&fakeGetpwuidR), reinterpret_cast<const void*>(&getpwuid_r)},
};
