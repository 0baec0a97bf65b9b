#pragma once

#include <elementdata.h>
#include <tasks.h>

struct ProcessResult;
struct ServiceFamily;
struct ServiceRow;

/**
 * Runs @p program on @p task's host to read something and records a failure in the task's
 * outcome (not finished, or a non-zero exit with its standard error); true when it exited
 * with 0. @p result, when given, gets the run whatever its end.
 */
bool runTool(AbstractTask *task, const QString &program, const QStringList &arguments,
             ProcessResult *result = nullptr);

/** What a service read brings into its element's own record, the one the tree shows. */
enum class ElementCopy
{
    State, ///< the state and its text: the element keeps its own name
    Whole  ///< everything the read found, the name too
};

/**
 * GUI thread, after @p task's read: brings @p read (see ElementCopy) into the light record of
 * the task's element, tells the tree, then hands the read to the widgets showing the element.
 * Nothing when the read failed or the element is gone.
 */
void showServiceRead(ReadPropertyHeavyTask *task, const ServiceLightElementData *read,
                     ElementCopy copy);

/**
 * The heavy read every init-script service shares: run the status script (30 s at most), set
 * the state from its exit code, read the boot state of the service's unit (a row's first),
 * then read the service's configuration (readConfiguration()); after a good run, copy the
 * state and the boot state into the element and hand the record to the widgets.
 */
class ServiceHeavyReadTask : public ReadPropertyHeavyTask
{
public:
    /// Reads with @p family's init script and heavy-read description; @p record becomes the
    /// task's data (a new ServiceHeavyElementData when null).
    ServiceHeavyReadTask(Element *element, const ServiceFamily &family,
                         ServiceHeavyElementData *record = nullptr);
    /// The same for a service row, which also gives the unit whose boot state is read.
    ServiceHeavyReadTask(Element *element, const ServiceRow &row,
                         ServiceHeavyElementData *record = nullptr);

    ServiceHeavyElementData *record() const;
    QString initScript() const { return m_initScript; }
    /// The unit whose boot state the read reads; empty: none.
    QString bootUnit() const { return m_bootUnit; }
    void setBootUnit(const QString &unit) { m_bootUnit = unit; }

    void run() override;
    void afterRun() override;

protected:
    /// Reads the configuration into record(); sets the outcome (succeed(), succeedPartly() when
    /// not all of it is shown, fail()).
    virtual void readConfiguration(ServiceHeavyElementData *record) = 0;

private:
    QString m_initScript;
    QString m_bootUnit;
};

/** A heavy read whose configuration is one text file, shown whole. */
class ConfigFileReadHeavyTask : public ServiceHeavyReadTask
{
public:
    ConfigFileReadHeavyTask(Element *element, const ServiceFamily &family, const QString &file);
    ConfigFileReadHeavyTask(Element *element, const ServiceRow &row, const QString &file);

    QString configFile() const { return m_file; }

protected:
    /// The whole file as local 8-bit text up to the first NUL; "Failed to read config file %1"
    /// when it cannot be opened. A file past the text bounds (ReadLimits) shows its beginning
    /// with its long lines cut, and the read ends with a warning saying so.
    void readConfiguration(ServiceHeavyElementData *record) override;

private:
    QString m_file;
};

/** The heavy read of a service whose configuration is the one text file of its row. */
template <const auto &Row> class FamilyConfigFileTask : public ConfigFileReadHeavyTask
{
public:
    static constexpr const char *configPath = Row.configPath;
    explicit FamilyConfigFileTask(Element *element)
        : ConfigFileReadHeavyTask(element, Row, QString::fromLatin1(configPath))
    {
    }
};
