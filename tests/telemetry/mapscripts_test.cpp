// The script strings the map view runs in the map page, in both page flavours.
#include "telemetry/mapscripts.h"

#include "qstringprint.h"

#include <gtest/gtest.h>

namespace {

// The fix of the data-file example line
// $GPRMC,083015.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,
tagGPSINFO SeoulFix()
{
    tagGPSINFO g;
    g.dLat = 37 + 33.1234 / 60;
    g.dLon = 126 + 58.5678 / 60;
    g.strLat = QStringLiteral("37.552057");
    g.strLon = QStringLiteral("126.976130");
    g.strDate = QStringLiteral("2013/05/12");
    g.strTime = QStringLiteral("08:30:15");
    return g;
}

// A southern, western fix.
tagGPSINFO RioFix()
{
    tagGPSINFO g;
    g.dLat = -(22 + 54.3 / 60);
    g.dLon = -(43 + 12.6 / 60);
    g.strLat = QStringLiteral("-22.905000");
    g.strLon = QStringLiteral("-43.210000");
    g.strDate = QStringLiteral("2014/01/02");
    g.strTime = QStringLiteral("23:59:59");
    return g;
}

TEST(MapScripts, CallsWithoutArguments)
{
    EXPECT_EQ(CMapScripts::InitWholeRoute(), QStringLiteral("initWholeRoute()"));
    EXPECT_EQ(CMapScripts::InitSingleRoute(), QStringLiteral("initSingleRoute()"));
    EXPECT_EQ(CMapScripts::ClearHomeMarker(), QStringLiteral("clearHomeMarker()"));
    EXPECT_EQ(CMapScripts::SetCurrentPosition(0), QStringLiteral("setCurrentPosition(0)"));
    EXPECT_EQ(CMapScripts::SetCurrentPosition(417), QStringLiteral("setCurrentPosition(417)"));
}

TEST(MapScripts, CallsWithCoordinates)
{
    const CMapScripts google(MapFlavour::Google);
    const CMapScripts naver(MapFlavour::Naver);
    const struct {
        QString actual;
        const char *expected;
    } cases[] = {
        {google.CreateContentMarker(SeoulFix(), 3),
         "createContentMarker(new GLatLng(37.552057, 126.976130), 3, "
         "new Array('2013/05/12', '08:30:15'))"},
        {google.CreateMarker(RioFix(), 12), "createMarker(new GLatLng(-22.905000, -43.210000), 12, "
                                            "new Array('2014/01/02', '23:59:59'))"},
        {google.SetMapPosition(SeoulFix()), "setMapPosition(new GLatLng(37.552057, 126.976130))"},
        {naver.CreateContentMarker(SeoulFix(), 0),
         "createContentMarker(new NLatLng(37.552057, 126.976130), 0, "
         "new Array('2013/05/12', '08:30:15'))"},
        {naver.CreateMarker(RioFix(), 1), "createMarker(new NLatLng(-22.905000, -43.210000), 1, "
                                          "new Array('2014/01/02', '23:59:59'))"},
        {naver.SetMapPosition(RioFix()), "setMapPosition(new NLatLng(-22.905000, -43.210000))"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.actual, QString::fromLatin1(c.expected));
}

TEST(MapScripts, FixesWithoutAPosition)
{
    // A void fix with empty position fields: the hemisphere step negates 0, and "%f" of -0.0
    // keeps its sign, as the fix's own texts do.
    tagGPSINFO g;
    g.dLat = -0.0;
    g.dLon = -0.0;
    g.strLat = QStringLiteral("-0.000000");
    g.strLon = QStringLiteral("-0.000000");
    g.strDate = QStringLiteral(" ");
    g.strTime = QStringLiteral(" ");
    EXPECT_EQ(CMapScripts(MapFlavour::Google).CreateMarker(g, 0),
              QStringLiteral("createMarker(new GLatLng(-0.000000, -0.000000), 0, new Array(' ', ' '))"));
    EXPECT_EQ(CMapScripts(MapFlavour::Naver).SetMapPosition(g),
              QStringLiteral("setMapPosition(new NLatLng(-0.000000, -0.000000))"));
    // The texts of a fix that no sentence has filled yet.
    g.strLat = QStringLiteral("37");
    g.strLon = QStringLiteral("127");
    EXPECT_EQ(CMapScripts(MapFlavour::Naver).SetMapPosition(g),
              QStringLiteral("setMapPosition(new NLatLng(37, 127))"));
}

TEST(MapScripts, TextsCannotBreakOutOfTheScript)
{
    tagGPSINFO g = SeoulFix();
    g.strDate = QStringLiteral("2013'); alert('x");
    g.strTime = QStringLiteral("a\\b\nc");
    EXPECT_EQ(CMapScripts(MapFlavour::Google).CreateMarker(g, 2),
              QStringLiteral("createMarker(new GLatLng(37.552057, 126.976130), 2, "
                             "new Array('2013\\'); alert(\\'x', 'a\\\\b\\nc'))"));
    // A coordinate text that is not a plain number is not run; its number is passed instead.
    g.strLat = QStringLiteral("1); alert(1");
    EXPECT_EQ(CMapScripts(MapFlavour::Naver).SetMapPosition(g),
              QStringLiteral("setMapPosition(new NLatLng(37.552057, 126.976130))"));
}

TEST(MapScripts, PageAddressesAndFlavour)
{
    const QString base = QStringLiteral("http://127.0.0.1:8123/");
    EXPECT_EQ(MapPageUrl(base),
              QStringLiteral("http://127.0.0.1:8123/corvana_mapview/google_map_world.html"));
    EXPECT_EQ(MapPageUrl(QStringLiteral("http://maps.example.com")),
              QStringLiteral("http://maps.example.com/corvana_mapview/google_map_world.html"));
    EXPECT_EQ(MapFlavourOf(MapPageUrl(base), base), MapFlavour::Google);
    EXPECT_EQ(MapFlavourOf(NaverMapPageUrl(base), base), MapFlavour::Naver);
    // Only the whole address counts.
    EXPECT_EQ(MapFlavourOf(NaverMapPageUrl(base) + QStringLiteral("?x=1"), base), MapFlavour::Google);
    EXPECT_EQ(MapFlavourOf(NaverMapPageUrl(QStringLiteral("http://other/")), base), MapFlavour::Google);
}

} // namespace
