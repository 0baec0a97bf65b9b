#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

/**
 * Paths as the bridge judges them: the syntax checks made before anything touches the file
 * system, resolving links the way the policy compares paths, and whether a file or directory
 * can be trusted (nobody but its trusted owners can change it or the directories above it).
 */
namespace Bridge::Paths {

/// The longest path taken, as the kernel's PATH_MAX.
constexpr size_t MaxPathBytes = 4096;

/**
 * Why @p path is refused before anything else, or an empty string: it must be non-empty,
 * absolute, at most MaxPathBytes, without NUL bytes and without ".." components.
 */
std::string syntaxError(const std::string &path);

/// Why @p name is no plain name of a directory entry (empty, ".", "..", a "/" or NUL, longer
/// than 255 bytes), or an empty string.
std::string nameError(const std::string &name);

/// @p path without empty and "." components and without a trailing "/" ("/" stays "/").
std::string normalize(const std::string &path);

/// realpath() of @p path; false with @p error (an errno) when it fails.
bool resolve(const std::string &path, std::string *resolved, int *error);

/**
 * @p path with its directory part resolved (realpath) and its last component kept as it is:
 * a final link is not followed. "/" stays "/". False with @p error when the directory part
 * cannot be resolved.
 */
bool resolveDirectoryPart(const std::string &path, std::string *resolved, int *error);

/// The directory part of an absolute path ("/" for "/x") and the last component.
std::string directoryOf(const std::string &path);
std::string nameOf(const std::string &path);

/// Whether @p path is @p directory or lies below it (both without a trailing "/", except "/").
bool isWithin(const std::string &path, const std::string &directory);

/**
 * Why the resolved directory @p directory cannot be trusted, or an empty string: it and every
 * directory above it must be owned by one of @p owners and not writable by group or others;
 * above it, a sticky directory (such as /tmp) may be writable by others, since nobody else can
 * rename or remove an entry of a trusted owner in it.
 */
std::string untrustedDirectory(const std::string &directory, const std::vector<uid_t> &owners);

/// Why a file of @p mode owned by @p owner cannot be trusted, or an empty string.
std::string untrustedFile(const std::string &path, uid_t owner, unsigned mode,
                          const std::vector<uid_t> &owners);

/**
 * Why the program at @p path (its directory part resolved) cannot be trusted, or an empty
 * string: it must be an executable regular file that untrustedFile() accepts, and the
 * directory of every link on the way to it, and of the file itself, untrustedDirectory().
 * When the program or a link on the way is missing, @p error is set (an errno) instead.
 */
std::string untrustedProgram(const std::string &path, const std::vector<uid_t> &owners, int *error);

/**
 * Opens @p path (absolute, as resolved by the policy) without following a link anywhere on
 * it: every directory is opened in turn with O_NOFOLLOW, then the last component with
 * @p flags and O_NOFOLLOW. A link found where the check saw none (a directory or file swapped
 * since, by whoever may write there) fails with ELOOP or ENOTDIR instead of leading elsewhere.
 * Returns the descriptor, or -1 with @p error set.
 */
int openResolved(const std::string &path, int flags, int *error);

/// errno's text for @p error.
std::string errorText(int error);

} // namespace Bridge::Paths
