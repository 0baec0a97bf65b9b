#pragma once

#include <string>

/**
 * Whether a root process may take code from a path: the file (or directory) and every
 * directory above it are owned by root and writable by nobody else, so no other user can
 * have put the code there or swap it later. A directory that others may write is accepted
 * when it is sticky and root's (/tmp): there nobody can rename or remove what root made.
 * Links are judged by where they lead and where they stand.
 */
namespace PathTrust {

/// Why root may not take code from @p path; empty when it may. @p path is absolute.
std::string untrustedReason(const std::string &path);

} // namespace PathTrust
