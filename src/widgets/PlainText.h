// Text from outside (file names, adapters' product names, notices that quote them) shown as it is:
// Qt takes a tooltip that looks like HTML for HTML.
#pragma once

#include <QString>
#include <QTextDocument>

namespace widgets {

inline QString PlainToolTip(const QString& text) {
    return Qt::mightBeRichText(text) ? QStringLiteral("<qt>") + text.toHtmlEscaped() + QStringLiteral("</qt>") : text;
}

} // namespace widgets
