// The file types of the save dialog and the extension rule of the chosen
// name, in Qt's strings (the rules are flow's).
#include "Zererav.h"
#include "window_internal.h"

namespace teebasket {

using window::QtText;
using window::Utf8Text;

namespace {

std::vector<std::string> Utf8Texts(const QStringList& texts) {
    std::vector<std::string> utf8;
    for (const QString& text : texts) {
        utf8.push_back(Utf8Text(text));
    }
    return utf8;
}

}  // namespace

QString AppendExtension(const QString& chosen, const QString& extension) {
    return QtText(flow::AppendExtension(Utf8Text(chosen), Utf8Text(extension)));
}

QStringList OutputTypeFilters() {
    QStringList filters;
    for (const flow::OutputType& type : flow::OutputTypes()) {
        filters << QtText(type.filter);
    }
    return filters;
}

QString FilterExtension(const QString& filter) {
    return QtText(flow::FilterExtension(Utf8Text(filter)));
}

QString WithTypeExtension(const QString& name, const QStringList& filters, const QString& chosen) {
    return QtText(flow::WithTypeExtension(Utf8Text(name), Utf8Texts(filters), Utf8Text(chosen)));
}

}  // namespace teebasket
