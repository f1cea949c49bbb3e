// The JavaScript calls the map view runs in the map page, one script string per call, in the
// page's flavour: the Google flavour passes coordinates as numbers ("%f"), the Naver flavour as
// the fix's latitude and longitude texts.
#pragma once

#include "catalogue/recordinfo.h"

#include <QString>
#include <QVector>

enum class MapFlavour {
    Google,
    Naver,
};

class CMapScripts
{
public:
    explicit CMapScripts(MapFlavour flavour) : m_flavour(flavour) {}

    MapFlavour Flavour() const { return m_flavour; }

    // "initWholeRoute()"
    static QString InitWholeRoute();
    // "createContentMarker(new GLatLng(%f, %f), %d, new Array('%s', '%s'))": the first fix of the
    // recording at list index `recording`, with its date and time texts.
    QString CreateContentMarker(const tagGPSINFO &firstFix, int recording) const;
    // "initSingleRoute()"
    static QString InitSingleRoute();
    // "clearHomeMarker()"
    static QString ClearHomeMarker();
    // "createMarker(new GLatLng(%f, %f), %d, new Array('%s', '%s'))" for fix `index`.
    QString CreateMarker(const tagGPSINFO &fix, int index) const;
    // "setCurrentPosition(%d)"
    static QString SetCurrentPosition(int index);
    // "setMapPosition(new GLatLng(%f, %f))"
    QString SetMapPosition(const tagGPSINFO &fix) const;
    // "showTripRoute(new Array(new GLatLng(%f, %f), ...))": a trip's whole route (none: removed).
    QString ShowTripRoute(const QVector<tagGPSINFO> &route) const;

private:
    QString LatLng(const tagGPSINFO &fix) const;

    MapFlavour m_flavour;
};

// The flavour of a map page address: Naver only when it is, as a whole, the Naver page on the
// given server; any other address is the Google flavour.
MapFlavour MapFlavourOf(const QString &mapPage, const QString &serverBase);

// The map page of the Google flavour on a server ("http://host:port/", the final "/" optional).
QString MapPageUrl(const QString &serverBase);
// The Naver flavour's page on a server.
QString NaverMapPageUrl(const QString &serverBase);
