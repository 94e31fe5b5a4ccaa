// The file types of the save dialog and the extension rule of the chosen name.
#include <QRegularExpression>

#include "Zererav.h"

namespace teebasket {

namespace {

bool HasExtension(const QString& path, const QString& extension) {
    const qsizetype separator = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < separator) {
        return false;
    }
    return path.mid(dot).compare(extension, Qt::CaseInsensitive) == 0;
}

}  // namespace

QString AppendExtension(const QString& chosen, const QString& extension) {
    return HasExtension(chosen, extension) ? chosen : chosen + extension;
}

QString TOutputType::extension() const {
    return QString::fromLatin1(OutputFormatExtension(format));
}

const std::vector<TOutputType>& OutputTypes() {
    static const std::vector<TOutputType> types{
        {QStringLiteral("CSVファイル (*.csv)"), OutputFormat::Csv},
        {QStringLiteral("CSVファイル UTF-8 (*.csv)"), OutputFormat::CsvUtf8},
        {QStringLiteral("Excelブック (*.xlsx)"), OutputFormat::Xlsx},
        {QStringLiteral("JSON Lines (*.jsonl)"), OutputFormat::Jsonl},
    };
    return types;
}

QStringList OutputTypeFilters() {
    QStringList filters;
    for (const TOutputType& type : OutputTypes()) {
        filters << type.filter;
    }
    return filters;
}

QString FilterExtension(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\(\\*(\\.[^)\\s]+)\\)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString WithTypeExtension(const QString& name, const QStringList& filters, const QString& chosen) {
    const QString wanted = FilterExtension(chosen);
    if (wanted.isEmpty()) {
        return name;
    }
    for (const QString& filter : filters) {
        const QString extension = FilterExtension(filter);
        if (!extension.isEmpty() && name.endsWith(extension, Qt::CaseInsensitive) &&
            name.size() > extension.size()) {
            return name.left(name.size() - extension.size()) + wanted;
        }
    }
    return name;
}

}  // namespace teebasket
