// The JavaScript calls of the map view.
#include "telemetry/mapscripts.h"

#include "telemetry/telemetryconst.h"

#include <QRegularExpression>
#include <cmath>

namespace {

// A text inside '...' of a script. The texts are formed from numbers by the data-file reader, so
// this changes nothing in practice; it keeps a stray quote or line end from ending the literal
// and turning the rest of the text into script.
QString Quoted(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('\'');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\'': out += QLatin1String("\\'"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case 0x2028: out += QLatin1String("\\u2028"); break;
        case 0x2029: out += QLatin1String("\\u2029"); break;
        default: out += c;
        }
    }
    out += QLatin1Char('\'');
    return out;
}

// "%f": six decimals, and a negative zero keeps its sign as the C library prints it (a void fix
// has -0.0 for both coordinates). Qt's formatting, unlike the C library's, ignores the locale.
QString Fixed6(double v)
{
    QString s = QString::asprintf("%f", v);
    if (std::signbit(v) && !std::isnan(v) && !s.startsWith(QLatin1Char('-')))
        s.prepend(QLatin1Char('-'));
    return s;
}

// A coordinate text passed bare to the page. Only a plain decimal number may go in as it is;
// anything else would be run as script, so the number itself is passed instead.
QString BareNumber(const QString &text, double value)
{
    static const QRegularExpression kNumber(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    if (kNumber.match(text).hasMatch())
        return text;
    return Fixed6(value);
}

// "new Array('date', 'time')"
QString TextPair(const tagGPSINFO &fix)
{
    return QLatin1String("new Array(") + Quoted(fix.strDate) + QLatin1String(", ") + Quoted(fix.strTime) +
           QLatin1Char(')');
}

QString WithSlash(const QString &base)
{
    return base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
}

} // namespace

QString CMapScripts::InitWholeRoute()
{
    return QStringLiteral("initWholeRoute()");
}

QString CMapScripts::CreateContentMarker(const tagGPSINFO &firstFix, int recording) const
{
    return QLatin1String("createContentMarker(") + LatLng(firstFix) + QLatin1String(", ") +
           QString::number(recording) + QLatin1String(", ") + TextPair(firstFix) + QLatin1Char(')');
}

QString CMapScripts::InitSingleRoute()
{
    return QStringLiteral("initSingleRoute()");
}

QString CMapScripts::ClearHomeMarker()
{
    return QStringLiteral("clearHomeMarker()");
}

QString CMapScripts::CreateMarker(const tagGPSINFO &fix, int index) const
{
    return QLatin1String("createMarker(") + LatLng(fix) + QLatin1String(", ") + QString::number(index) +
           QLatin1String(", ") + TextPair(fix) + QLatin1Char(')');
}

QString CMapScripts::SetCurrentPosition(int index)
{
    return QLatin1String("setCurrentPosition(") + QString::number(index) + QLatin1Char(')');
}

QString CMapScripts::SetMapPosition(const tagGPSINFO &fix) const
{
    return QLatin1String("setMapPosition(") + LatLng(fix) + QLatin1Char(')');
}

QString CMapScripts::ShowTripRoute(const QVector<tagGPSINFO> &route) const
{
    QString out = QStringLiteral("showTripRoute(new Array(");
    out.reserve(out.size() + route.size() * 40 + 2);
    for (int i = 0; i < route.size(); ++i) {
        if (i > 0)
            out += QLatin1String(", ");
        out += LatLng(route[i]);
    }
    return out + QLatin1String("))");
}

QString CMapScripts::LatLng(const tagGPSINFO &fix) const
{
    if (m_flavour == MapFlavour::Naver) {
        return QLatin1String("new NLatLng(") + BareNumber(fix.strLat, fix.dLat) + QLatin1String(", ") +
               BareNumber(fix.strLon, fix.dLon) + QLatin1Char(')');
    }
    return QLatin1String("new GLatLng(") + Fixed6(fix.dLat) + QLatin1String(", ") + Fixed6(fix.dLon) +
           QLatin1Char(')');
}

MapFlavour MapFlavourOf(const QString &mapPage, const QString &serverBase)
{
    return mapPage == NaverMapPageUrl(serverBase) ? MapFlavour::Naver : MapFlavour::Google;
}

QString MapPageUrl(const QString &serverBase)
{
    return WithSlash(serverBase) + QLatin1String(kGoogleMapPagePath);
}

QString NaverMapPageUrl(const QString &serverBase)
{
    return WithSlash(serverBase) + QLatin1String(kNaverMapPagePath);
}
