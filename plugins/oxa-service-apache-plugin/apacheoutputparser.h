#pragma once

#include <QString>

class ServiceApacheHeavyElementData;

/**
 * Parsers of `apache2ctl` output: plain functions from the text to the nodes and name sets of
 * a record, apart from any process, so they can be tested and fuzzed on their own. Both are
 * linear in the length of the text.
 */
namespace ApacheOutput {

/**
 * Reads the virtual hosts of `apache2ctl -S` into @p record: one HostTreeNode per host line
 * (compact lines of any address form, the default server of each address block as "def:NAME",
 * its name-based hosts), in line order; every host name goes to blockedNames(). Does nothing
 * for an empty text or a null record.
 */
void parseVirtualHosts(const QString &text, ServiceApacheHeavyElementData *record);

/**
 * Reads the modules of `apache2ctl -M` into @p record: shared modules become ticked
 * ModuleSharedTreeNode rows (checkedNames()), the others ModuleStaticTreeNode rows
 * (blockedNames()), in line order. Does nothing for an empty text or a null record.
 */
void parseModules(const QString &text, ServiceApacheHeavyElementData *record);

} // namespace ApacheOutput
