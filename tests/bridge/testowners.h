#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

/// The owners the bridge suites trust: root, the user running the test (its temporary files
/// are its own), and, in a user namespace, the machine's root as it shows as owner of "/".
inline std::vector<uid_t> testOwners()
{
    struct stat st;
    std::vector<uid_t> owners{0, ::geteuid()};
    if (::stat("/", &st) == 0)
        owners.push_back(st.st_uid);
    return owners;
}
