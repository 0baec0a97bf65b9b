#include "dpkgstatus.h"

const QByteArray DpkgStatus::installedStatus = QByteArrayLiteral("install ok installed");
const QByteArray DpkgStatus::configFilesStatus = QByteArrayLiteral("deinstall ok config-files");

namespace {

void splitName(const QString &name, QByteArray *package, QByteArray *architecture)
{
    const int colon = name.indexOf(QLatin1Char(':'));
    *package = (colon < 0 ? name : name.left(colon)).toUtf8();
    *architecture = colon < 0 ? QByteArray() : name.mid(colon + 1).toUtf8();
}

bool sameField(const QByteArray &a, const QByteArray &b)
{
    return qstricmp(a.constData(), b.constData()) == 0;
}

} // namespace

QByteArray DpkgStatus::Stanza::value(const QByteArray &field) const
{
    for (const auto &f : fields) {
        if (sameField(f.first, field))
            return f.second;
    }
    return QByteArray();
}

void DpkgStatus::Stanza::setValue(const QByteArray &field, const QByteArray &value)
{
    for (auto &f : fields) {
        if (sameField(f.first, field)) {
            f.second = value;
            return;
        }
    }
    fields.append(qMakePair(field, value));
}

bool DpkgStatus::merge(const QByteArray &text, QString *error)
{
    Stanza current;
    const auto finish = [&] {
        if (!current.fields.isEmpty()) {
            current.package = current.value("Package");
            current.architecture = current.value("Architecture");
            addStanza(std::move(current));
        }
        current = Stanza();
    };

    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty()) {
            finish();
        } else if (line.startsWith(' ') || line.startsWith('\t')) {
            if (current.fields.isEmpty()) {
                if (error)
                    *error = QStringLiteral("line %1: continuation without a field").arg(i + 1);
                return false;
            }
            current.fields.last().second += '\n' + line;
        } else {
            const int colon = line.indexOf(':');
            if (colon <= 0) {
                if (error)
                    *error = QStringLiteral("line %1: not a field: %2")
                                 .arg(i + 1)
                                 .arg(QString::fromLocal8Bit(line));
                return false;
            }
            current.fields.append(
                qMakePair(line.left(colon).trimmed(), line.mid(colon + 1).trimmed()));
        }
    }
    finish();
    return true;
}

QByteArray DpkgStatus::toText() const
{
    QByteArray text;
    for (const Stanza &stanza : m_stanzas) {
        for (const auto &f : stanza.fields) {
            text += f.first + ':';
            // A value that starts with a continuation line has nothing on the field's line.
            if (!f.second.isEmpty() && !f.second.startsWith('\n'))
                text += ' ';
            text += f.second + '\n';
        }
        text += '\n';
    }
    return text;
}

void DpkgStatus::install(const QString &name, const QString &version, const QByteArray &status,
                         const QByteArray &architecture)
{
    const QList<int> found = indexesOf(name);
    for (int i : found) {
        m_stanzas[i].setValue("Status", status);
        m_stanzas[i].setValue("Version", version.toUtf8());
    }
    if (!found.isEmpty())
        return;

    Stanza stanza;
    splitName(name, &stanza.package, &stanza.architecture);
    if (stanza.architecture.isEmpty())
        stanza.architecture = architecture;
    stanza.fields = {
        {"Package", stanza.package},
        {"Status", status},
        {"Priority", "optional"},
        {"Section", "misc"},
        {"Maintainer", "Disposable Test Host <root@localhost>"},
        {"Architecture", stanza.architecture},
        {"Version", version.toUtf8()},
        {"Description", stanza.package + " described by a disposable host\n"
                                         " Written by the test host; never installed for real."},
    };
    m_stanzas.append(std::move(stanza));
}

bool DpkgStatus::setStatus(const QString &name, const QByteArray &status)
{
    const QList<int> found = indexesOf(name);
    for (int i : found)
        m_stanzas[i].setValue("Status", status);
    return !found.isEmpty();
}

bool DpkgStatus::forget(const QString &name)
{
    const QList<int> found = indexesOf(name);
    for (int k = found.size() - 1; k >= 0; --k)
        m_stanzas.remove(found.at(k));
    return !found.isEmpty();
}

bool DpkgStatus::contains(const QString &name) const
{
    return !indexesOf(name).isEmpty();
}

QByteArray DpkgStatus::field(const QString &name, const QByteArray &field) const
{
    const QList<int> found = indexesOf(name);
    return found.isEmpty() ? QByteArray() : m_stanzas.at(found.first()).value(field);
}

void DpkgStatus::addStanza(Stanza stanza)
{
    for (Stanza &existing : m_stanzas) {
        if (existing.package == stanza.package && existing.architecture == stanza.architecture) {
            existing = std::move(stanza);
            return;
        }
    }
    m_stanzas.append(std::move(stanza));
}

QList<int> DpkgStatus::indexesOf(const QString &name) const
{
    QByteArray package;
    QByteArray architecture;
    splitName(name, &package, &architecture);
    QList<int> result;
    for (int i = 0; i < m_stanzas.size(); ++i) {
        const Stanza &s = m_stanzas.at(i);
        if (s.package == package && (architecture.isEmpty() || s.architecture == architecture))
            result.append(i);
    }
    return result;
}
