#pragma once

#include <QString>

/**
 * What the host's test plug-ins share: where the scripts of the running test live
 * (OXA_HOST_TEST_DIR) and a barrier that proves the host checks plug-ins at the same time.
 */
namespace TestPluginSupport {
/// The test's script directory, or a path that does not exist when none is set.
QString scriptDirectory();
/// The script @p name in scriptDirectory().
QString scriptPath(const QString &name);
/**
 * With OXA_HOST_TEST_BARRIER_DIR and OXA_HOST_TEST_BARRIER_COUNT set: announces @p name in
 * that directory and waits (at most 20 s, or OXA_HOST_TEST_BARRIER_WAIT_MS) until COUNT plug-ins
 * have announced themselves. False when they did not all come: the checks did not run at the same
 * time. True without the variables.
 */
bool barrier(const QString &name);
} // namespace TestPluginSupport
