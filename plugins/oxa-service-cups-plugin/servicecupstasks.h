#pragma once

#include <packagecheckedcontroltask.h>
#include <serviceheavyreadtask.h>
#include <servicerows.h>

#include <QSet>
#include <QStringList>

class HostConnection;

/**
 * The scheduler's state and its configuration files ("/etc/cups/cups*.conf") as nodes: per
 * file, the summary entries, then the file with its directives and sections.
 */
class ServiceCupsReadHeavyTask : public ServiceHeavyReadTask
{
public:
    static constexpr const char *configDirectory = cupsFamily.configPath;
    static constexpr const char *configFilter = "cups*.conf";

    explicit ServiceCupsReadHeavyTask(Element *element);

protected:
    /// Every file is tried; each one that cannot be read adds its error text to the message.
    void readConfiguration(ServiceHeavyElementData *record) override;
};

/** The printers and classes the scheduler keeps in "printers.conf" and "classes.conf". */
class ServiceCupsPrintersReadHeavyTask : public ServiceCupsReadHeavyTask
{
public:
    explicit ServiceCupsPrintersReadHeavyTask(Element *element);

    /// Reads the two files; no state, no child process.
    void run() override;

protected:
    void readConfiguration(ServiceHeavyElementData *record) override;
};

/**
 * Empties the print spool "/var/spool/cups": removes the regular files and the links to files
 * directly in it, keeps subdirectories and hidden files. Only names in that directory are
 * ever unlinked, so nothing outside it goes, whatever a link points to. Nothing follows it:
 * the element shows no spool content.
 */
class ClearCacheTask : public ElementTask
{
public:
    static constexpr const char *spoolDirectory = "/var/spool/cups";

    explicit ClearCacheTask(Element *element);

    bool isChange() const override;
    void run() override;

    /**
     * Removes the regular files and links to files directly in @p directory of @p host; the
     * names that stayed go to @p failed, in name order ignoring case. False with @p error set
     * when the directory cannot be opened or is a symbolic link (a missing one counts as
     * empty: nothing to do).
     */
    static bool clearDirectory(const HostConnection &host, const QString &directory,
                               QStringList *failed, QString *error);
};

inline constexpr char printerAdministrationTool[] = "vell-admin-printer";

/** Starts the printer administration tool "vell-admin-printer", for the desktop user. */
class ServiceCupsControlTask : public ProgramControlTask<printerAdministrationTool>
{
public:
    explicit ServiceCupsControlTask(Element *element);
};
