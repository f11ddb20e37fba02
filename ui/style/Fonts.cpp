#include "ui/style/Fonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace velmora {

int rolePixelSize(TextRole role) {
    switch (role) {
        case TextRole::largeTitle: return 26;
        case TextRole::title2: return 17;
        case TextRole::title3: return 15;
        case TextRole::headline: return 13;
        case TextRole::body: return 13;
        case TextRole::callout: return 12;
        case TextRole::subheadline: return 12;
        case TextRole::caption: return 11;
        case TextRole::caption2: return 11;
    }
    return 13;
}

QFont roleFont(TextRole role, const QFont& base, QFont::Weight weight) {
    QFont font = base;
    font.setPixelSize(rolePixelSize(role));
    // The headline is the body size made semibold.
    font.setWeight(role == TextRole::headline && weight == QFont::Normal ? QFont::DemiBold : weight);
    return font;
}

QFont roleFont(TextRole role, QFont::Weight weight) { return roleFont(role, QApplication::font(), weight); }

bool hasEqualDigits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit)
        if (!qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char(digit)), zero)) return false;
    return true;
}

int amountColumnWidth(const QFont& font, bool withSign) {
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    // Digits share one advance in a number font, so these stand for every amount of their length;
    // the formatter groups thousands, so the widest megabytes carry a comma.
    for (const char* amount : {"1,023.9 MB", "99.99 GB"})
        for (const QString sign : {QString(), QStringLiteral("+"), QStringLiteral("\u2212")})
            if (withSign || sign.isEmpty())
                widest = std::max(widest, metrics.horizontalAdvance(sign + QString::fromLatin1(amount)));
    return static_cast<int>(std::ceil(widest));
}

QFont numberFont(const QFont& font) {
    if (hasEqualDigits(font)) return font;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (font.pixelSize() > 0) fixed.setPixelSize(font.pixelSize());
    else fixed.setPointSizeF(font.pointSizeF());
    fixed.setWeight(font.weight());
    return fixed;
}

}  // namespace velmora
