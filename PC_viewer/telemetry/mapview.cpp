// The map pane.
#include "telemetry/mapview.h"

#include "catalogue/corvanadoc.h"
#include "telemetry/telemetryconst.h"

#include "version.h"

#include <QChildEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHostAddress>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPainter>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include <climits>
#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

// Resources compiled into a static library have to be registered by name, and only from the
// global namespace.
static void EnsureTelemetryResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(telemetry);
        return true;
    }();
    (void)registered;
}

namespace {

// A position update the page has not answered in this time is given up, so that one lost
// callback cannot stop the position for good.
constexpr int kPositionGuardMs = 2000;
constexpr int kCheckTimeoutMs = 5000;

// The browser runs silent: what a page writes to its console (script errors of calls a local
// page does not define among them) goes nowhere.
class CSilentPage : public QWebEnginePage
{
public:
    CSilentPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent) {}

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int,
                                  const QString &) override
    {
    }
};

QPointer<QWebEngineProfile> g_profile;
QString g_tiles;
QString g_tilesAttribution;

bool IsLoopback(const QUrl &url)
{
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

CMapView::CMapView(const CCorvanaDoc *doc, const CRecordingTelemetry *telemetry, QWidget *parent)
    : QWebEngineView(parent), m_doc(doc), m_telemetry(telemetry), m_mapPage(QString::fromLatin1(kGoogleMapPagePath))
{
    EnsureTelemetryResources();
    m_network = new QNetworkAccessManager(this);

    for (QTimer *t : {&m_routeTimer, &m_retryTimer, &m_pageWaitTimer, &m_positionGuard})
        t->setSingleShot(true);
    m_routeTimer.setInterval(kMapRouteDelayMs);
    m_retryTimer.setInterval(kMapRetryDelayMs);
    m_pageWaitTimer.setInterval(kMapPageCompletePollMs * kMapPageCompletePolls);
    m_positionGuard.setInterval(kPositionGuardMs);
    m_routeTimer.setObjectName(QStringLiteral("routeTimer"));
    m_retryTimer.setObjectName(QStringLiteral("retryTimer"));
    connect(&m_routeTimer, &QTimer::timeout, this, &CMapView::LoadRoutes);
    connect(&m_retryTimer, &QTimer::timeout, this, &CMapView::StartMapLoad);
    connect(&m_pageWaitTimer, &QTimer::timeout, this, [this] {
        // The loading page did not complete in time: the check goes ahead anyway.
        if (m_checkWaitsForPage)
            SendCheck(m_checkSerial);
    });
    connect(&m_positionGuard, &QTimer::timeout, this, [this] {
        m_positionBusy = false;
        PumpPosition();
    });

    PrepareBrowserFlags(QGuiApplication::platformName());
    QWebEngineProfile *profile = g_profile ? g_profile.data() : QWebEngineProfile::defaultProfile();
    if (profile->httpUserAgent() != UserAgent())
        profile->setHttpUserAgent(UserAgent());
    setPage(new CSilentPage(profile, this));
    // Script errors stay in the page: the viewer relies on nothing it returns.
    settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    connect(this, &QWebEngineView::loadFinished, this, &CMapView::OnLoadFinished);
    connect(this, &QWebEngineView::loadStarted, this, [this] {
        // Scripts of the page being left will never answer.
        m_positionBusy = false;
        m_positionGuard.stop();
        m_pageWidth = m_pageHeight = -1;
    });

    setContextMenuPolicy(Qt::DefaultContextMenu);
    installEventFilter(this);
    for (QObject *child : children())
        InstallKeyFilter(child);
}

CMapView::~CMapView()
{
    ++m_checkSerial; // nothing that answers from now on counts
    if (m_checkReply) {
        m_checkReply->disconnect(this);
        m_checkReply->abort();
    }
    // The page answers its unfinished script calls when it goes. It goes here, while the view is
    // whole: as a child deleted by the widget's destructor it would call back into a view whose
    // members (the position guard among them) are already gone.
    delete page();
}

QString CMapView::MapPageAddress() const
{
    // A page address without a server (the document's default) lies on the server.
    const QUrl page(m_mapPage);
    if (page.isRelative() && !m_serverBase.isEmpty())
        return QUrl(m_serverBase).resolved(page).toString();
    return m_mapPage;
}

void CMapView::SetBrowserProfile(QWebEngineProfile *profile)
{
    g_profile = profile;
}

QWebEngineProfile *CMapView::MakeCachingProfile(const QString &folder, qint64 maxCacheBytes, QObject *parent)
{
    auto *profile = new QWebEngineProfile(QStringLiteral("Pellister"), parent);
    profile->setPersistentStoragePath(folder + QStringLiteral("/storage"));
    profile->setCachePath(folder + QStringLiteral("/cache"));
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    // At least a megabyte: 0 would mean "as the browser likes".
    profile->setHttpCacheMaximumSize(static_cast<int>(qBound(qint64(1) << 20, maxCacheBytes, qint64(INT_MAX))));
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setHttpUserAgent(UserAgent());
    return profile;
}

QString CMapView::UserAgent()
{
    return QStringLiteral("Pellister/%1 (Corvana map view; +http://www.pellister.com)")
        .arg(QLatin1String(PELLISTER_VERSION_STRING));
}

void CMapView::SetTileSource(const QString &urlTemplate, const QString &attribution)
{
    g_tiles = urlTemplate;
    g_tilesAttribution = attribution;
}

QUrl CMapView::MapPageUrlWithTiles() const
{
    QUrl url(MapPageAddress());
    if (g_tiles.isEmpty() || QUrlQuery(url).hasQueryItem(QStringLiteral("tiles")))
        return url;
    QString query = url.query(QUrl::FullyEncoded);
    if (!query.isEmpty())
        query += QLatin1Char('&');
    query += QStringLiteral("tiles=") + QString::fromLatin1(QUrl::toPercentEncoding(g_tiles));
    if (!g_tilesAttribution.isEmpty())
        query += QStringLiteral("&attribution=") + QString::fromLatin1(QUrl::toPercentEncoding(g_tilesAttribution));
    url.setQuery(query, QUrl::StrictMode);
    return url;
}

MapFlavour CMapView::Flavour() const
{
    return MapFlavourOf(MapPageAddress(), m_serverBase);
}

QUrl CMapView::LocalPageUrl(PageKind kind)
{
    switch (kind) {
    case PageKind::Loading: return QUrl(QStringLiteral("qrc:/telemetry/pages/loading.html"));
    case PageKind::Idle: return QUrl(QStringLiteral("qrc:/telemetry/pages/idle.html"));
    case PageKind::Offline: return QUrl(QStringLiteral("qrc:/telemetry/pages/offline.html"));
    default: return QUrl();
    }
}

QByteArray CMapView::BrowserFlagsFor(bool root, bool headless)
{
    if (root)
        return QByteArrayLiteral("--no-sandbox --disable-gpu");
    if (headless)
        return QByteArrayLiteral("--disable-gpu");
    return QByteArray();
}

void CMapView::PrepareBrowserFlags(const QString &platformName)
{
    // Set once, the variable also keeps later calls (one per map view) from saying it again.
    if (qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        return;
    bool root = false;
#ifdef Q_OS_UNIX
    root = geteuid() == 0;
#endif
    bool headless = platformName.startsWith(QLatin1String("offscreen")) ||
                    platformName.startsWith(QLatin1String("minimal"));
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    headless = headless ||
               (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
#endif
    const QByteArray flags = BrowserFlagsFor(root, headless);
    if (flags.isEmpty())
        return;
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    if (flags.contains("--no-sandbox")) {
        std::fputs("Pellister: the map's browser runs without its sandbox because the program runs as root;"
                   " start it as an ordinary user to keep the sandbox\n",
                   stderr);
    }
}

void CMapView::PrepareProcess(const QString &platformName)
{
    PrepareBrowserFlags(platformName);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

void CMapView::OnInitialUpdate()
{
    bPageComplete = 0;
    StartMapLoad();
}

// --- Page decision ---------------------------------------------------------------------------

bool CMapView::SystemReportsOffline() const
{
    // The system's view of the network says nothing about a server on this machine; and with no
    // backend to ask, nothing is known, so the check decides.
    if (IsLoopback(QUrl(m_serverBase)))
        return false;
    if (!QNetworkInformation::instance() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return false;
    const QNetworkInformation *info = QNetworkInformation::instance();
    return info && info->reachability() == QNetworkInformation::Reachability::Disconnected;
}

void CMapView::StartMapLoad()
{
    if (SystemReportsOffline()) {
        ShowMapPage(0);
        return;
    }
    bPageComplete = 0;
    Navigate(PageKind::Loading, LocalPageUrl(PageKind::Loading));
    StartCheck();
}

void CMapView::StartCheck()
{
    // A newer check supersedes the running one.
    ++m_checkSerial;
    if (m_checkReply) {
        m_checkReply->disconnect(this);
        m_checkReply->abort();
        m_checkReply->deleteLater();
        m_checkReply = nullptr;
    }
    m_checkWaitsForPage = true;
    if (bPageComplete)
        SendCheck(m_checkSerial);
    else
        m_pageWaitTimer.start();
}

void CMapView::SendCheck(quint64 serial)
{
    if (serial != m_checkSerial || !m_checkWaitsForPage)
        return;
    m_checkWaitsForPage = false;
    m_pageWaitTimer.stop();
    const QUrl root = QUrl(m_serverBase).resolved(QUrl(QStringLiteral("/")));
    if (m_serverBase.isEmpty() || !root.isValid() || root.scheme().isEmpty()) {
        // No server to ask: nothing can be shown but the offline page.
        QMetaObject::invokeMethod(
            this,
            [this, serial] {
                if (serial == m_checkSerial)
                    ShowMapPage(0);
            },
            Qt::QueuedConnection);
        return;
    }
    m_network->setProxy(IsLoopback(root) ? QNetworkProxy(QNetworkProxy::NoProxy)
                                         : QNetworkProxy(QNetworkProxy::DefaultProxy));
    QNetworkRequest request(root);
    request.setTransferTimeout(kCheckTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply *reply = m_network->head(request);
    m_checkReply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply, serial] { OnCheckFinished(reply, serial); });
}

void CMapView::OnCheckFinished(QNetworkReply *reply, quint64 serial)
{
    reply->deleteLater();
    if (m_checkReply == reply)
        m_checkReply = nullptr;
    if (serial != m_checkSerial)
        return;
    // Any answer of the server counts, even an error status: it is there.
    const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    ShowMapPage(answered ? 1 : 0);
}

void CMapView::ShowMapPage(int online)
{
    bOnline = online;
    if (online) {
        if ((m_recording.nIndex >= 0 || !m_tripRoute.isEmpty()) && bMapPageDue == 1) {
            Navigate(PageKind::Map, MapPageUrlWithTiles());
            bMapPageDue = 0;
        } else {
            Navigate(PageKind::Idle, LocalPageUrl(PageKind::Idle));
            bMapPageDue = 1;
        }
    } else {
        bPageComplete = 0;
        Navigate(PageKind::Offline, LocalPageUrl(PageKind::Offline));
        m_retryTimer.start();
    }
}

void CMapView::Navigate(PageKind kind, const QUrl &url)
{
    // A route load still due belongs to the page being left.
    m_routeTimer.stop();
    m_page = kind;
    emit PageRequested(kind);
    load(url);
}

void CMapView::OnLoadFinished(bool ok)
{
    // A page that did not load has no body to speak of: it does not count as complete.
    if (!ok)
        return;
    page()->runJavaScript(QStringLiteral("if (document.body) document.body.style.overflow = 'hidden';"));
    ReadPageSize();
    // The loading page only waits for the check's decision. Routes "loaded" into it would make the
    // map page due again behind the decision's back (a "Google Map" whose check took longer than
    // the route delay would then show the map page instead of the idle one).
    if (bOnline == 1 && m_page != PageKind::Loading)
        m_routeTimer.start();
    bPageComplete = 1;
    emit PageCompleted(m_page);
    if (m_checkWaitsForPage)
        SendCheck(m_checkSerial);
}

// --- Routes and position ---------------------------------------------------------------------

void CMapView::OnRecordingOpened(const tagOPENEDRECORDING &recording)
{
    m_recording = recording;
    m_position = 0;
}

void CMapView::OnRecordingClosed()
{
    m_recording = tagOPENEDRECORDING();
    m_position = 0;
}

void CMapView::LoadRoutes()
{
    bRouteLoaded = 0;
    const int current = m_recording.nIndex;
    const bool trip = !m_tripRoute.isEmpty();
    if (bOnline != 1 || (current < 0 && !trip))
        return;
    const tagDATAFILEINFO &rec = m_doc->RecordRef(current);
    if (m_doc->Count() >= 1 && (rec.vecGps.size() >= 2 || trip)) {
        const CMapScripts scripts(Flavour());
        nShownFix = 0;
        RunScript(CMapScripts::InitWholeRoute());
        bMapPageDue = 1;
        for (int b = 0; b < m_doc->Count(); ++b) {
            const tagDATAFILEINFO &other = m_doc->RecordRef(b);
            if (other.bValid == 1 && !other.vecGps.isEmpty())
                RunScript(scripts.CreateContentMarker(other.vecGps.first(), b));
        }
        if (current >= 0)
            LoadSingleRoute();
        if (trip)
            RunScript(scripts.ShowTripRoute(m_tripRoute));
        bRouteLoaded = 1;
        emit RoutesLoaded();
    } else {
        if (bMapPageDue != 1) {
            Navigate(PageKind::Idle, LocalPageUrl(PageKind::Idle));
            bMapPageDue = 1;
        }
    }
}

void CMapView::SetTripRoute(const QVector<tagGPSINFO> &route)
{
    m_tripRoute = route;
    if (bOnline != 1)
        return; // the route goes in with the route load of the map page
    if (m_page == PageKind::Map && bPageComplete) {
        if (bRouteLoaded)
            RunScript(CMapScripts(Flavour()).ShowTripRoute(m_tripRoute));
        else
            LoadRoutes();
    } else if (m_page == PageKind::Idle && !m_tripRoute.isEmpty()) {
        bMapPageDue = 1;
        ShowMapPage(1);
    }
}

void CMapView::LoadSingleRoute()
{
    if (bOnline != 1)
        return;
    RunScript(CMapScripts::InitSingleRoute());
    const int current = m_recording.nIndex;
    const tagDATAFILEINFO &rec = m_doc->RecordRef(current);
    if (current >= 0 && rec.bValid == 1) {
        if (!rec.vecGps.isEmpty())
            RunScript(CMapScripts::ClearHomeMarker());
        const CMapScripts scripts(Flavour());
        for (int i = 0; i < rec.vecGps.size(); ++i)
            RunScript(scripts.CreateMarker(rec.vecGps[i], i));
        if (!m_telemetry->FrameToFix().IsEmpty())
            RunScript(scripts.SetMapPosition(rec.vecGps.first()));
    }
    nShownFix = -1;
    UpdateMapPosition();
}

int CMapView::FindFixForFrame(int frame) const
{
    const tagDATAFILEINFO &rec = m_doc->RecordRef(m_recording.nIndex);
    int64_t startMs = 0;
    if (rec.bValid != 1 || !TimeKey(rec.stSyncTime, &startMs))
        return -1;
    return ::FindFixForFrame(FixTimeKeys(rec), startMs, m_recording.llFrameTime, frame);
}

void CMapView::UpdateMapPosition()
{
    SendPosition({});
}

void CMapView::SendPosition(const std::function<void()> &done)
{
    const int current = m_recording.nIndex;
    const tagDATAFILEINFO &rec = m_doc->RecordRef(current);
    int fix = -1;
    if (current >= 0 && rec.bValid == 1 && !rec.vecGps.isEmpty()) {
        const int found = m_telemetry->FrameToFix().Find(m_position);
        if (found != -1 && found != nShownFix)
            fix = found;
        else if (found == -1 && nShownFix == -1)
            fix = 0; // a clip whose first fix comes later starts at fix 0
    }
    if (fix == -1 || fix >= rec.vecGps.size()) {
        if (done)
            done();
        return;
    }
    nShownFix = fix;
    RunScript(CMapScripts::SetCurrentPosition(fix));
    const QString last = CMapScripts(Flavour()).SetMapPosition(rec.vecGps[fix]);
    if (!done) {
        RunScript(last);
        return;
    }
    page()->runJavaScript(last, [done](const QVariant &) { done(); });
}

void CMapView::PumpPosition()
{
    if (m_positionBusy || !m_positionPending)
        return;
    m_positionPending = false;
    m_positionBusy = true;
    m_positionGuard.start();
    const QPointer<CMapView> self(this);
    SendPosition([self] {
        if (!self)
            return;
        self->m_positionGuard.stop();
        self->m_positionBusy = false;
        self->PumpPosition();
    });
}

void CMapView::OnPositionChanged(const tagPLAYPOSITION &position)
{
    m_position = position.llFrame;
    if (position.pOrigin == this)
        return;
    const int current = m_recording.nIndex;
    if (!bRouteLoaded || !bPageComplete || m_positionOn != 1 || bOnline != 1 || current < 0)
        return;
    const tagDATAFILEINFO &rec = m_doc->RecordRef(current);
    if (rec.bValid != 1 || rec.vecGps.isEmpty())
        return;
    const int fix = m_telemetry->FrameToFix().Find(m_position);
    if (fix == -1 || fix == nShownFix)
        return;
    m_positionPending = true;
    PumpPosition();
}

void CMapView::RunScript(const QString &script)
{
    if (!script.isEmpty())
        page()->runJavaScript(script);
}

// --- Report ----------------------------------------------------------------------------------

void CMapView::ReadPageSize()
{
    const QPointer<CMapView> self(this);
    page()->runJavaScript(
        QStringLiteral("document.body ? [document.body.offsetWidth, document.body.offsetHeight] : null"),
        [self](const QVariant &v) {
            if (!self)
                return;
            const QVariantList size = v.toList();
            if (size.size() == 2) {
                self->m_pageWidth = size[0].toInt();
                self->m_pageHeight = size[1].toInt();
            }
        });
}

HRESULT CMapView::GetMapPageSize(long *width, long *height) const
{
    if (!width || !height || m_pageWidth < 0 || m_pageHeight < 0)
        return E_UNEXPECTED;
    *width = m_pageWidth;
    *height = m_pageHeight;
    return S_OK;
}

bool CMapView::DrawMapToImage(QImage *image)
{
    if (!image || image->isNull() || m_page == PageKind::None || !bPageComplete)
        return false;
    const QPixmap shot = grab();
    if (shot.isNull())
        return false;
    QPainter p(image);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawPixmap(image->rect(), shot);
    return true;
}

QImage CMapView::ReportPicture(int waitMs)
{
    WaitUntilDrawn(waitMs);
    long w = 0, h = 0;
    if (FAILED(GetMapPageSize(&w, &h)) || w <= 0 || h <= 0)
        return QImage();
    QImage argb(static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32);
    argb.fill(Qt::transparent);
    DrawMapToImage(&argb);
    // Over a white background, as a plain picture.
    QImage plain(argb.size(), QImage::Format_RGB32);
    plain.fill(Qt::white);
    QPainter(&plain).drawImage(0, 0, argb);
    return plain;
}

bool CMapView::WaitUntilDrawn(int timeoutMs)
{
    // The page must have been quiet this long: a change is painted within a frame or two.
    static constexpr int kQuietMs = 150;
    constexpr int kPollMs = 40;
    const QDeadlineTimer deadline(timeoutMs);
    const QPointer<CMapView> self(this);
    while (!deadline.hasExpired()) {
        // A position change still collapsing into the page is sent first (unless the user turned
        // the position display off: the page then keeps what it shows).
        if (m_positionOn == 1)
            UpdateMapPosition();
        const bool decided = m_page != PageKind::None && m_page != PageKind::Loading && bPageComplete;
        const bool onMap = m_page == PageKind::Map;
        if (decided && (!onMap || (bRouteLoaded && !m_positionBusy && !m_positionPending))) {
            // The map page says what it shows; the local pages (offline, idle) only need to have
            // been loaded long enough to be painted.
            const QString script =
                onMap ? QStringLiteral("typeof __drawnState === 'function' ? __drawnState() : null")
                      : QStringLiteral("(function () { const t = performance.timing;"
                                       " return { current: -1, busy: document.readyState !== 'complete' ||"
                                       " t.loadEventEnd <= 0, quietMs: Date.now() - t.loadEventEnd }; })()");
            const int wanted = onMap ? nShownFix : -1;
            // 0 none yet, 1 drawn, -1 not yet; shared, since an answer may come after we gave up.
            const auto answer = std::make_shared<int>(0);
            page()->runJavaScript(script, [answer, wanted](const QVariant &v) {
                const QVariantMap m = v.toMap();
                const bool drawn = !m.isEmpty() && !m.value(QStringLiteral("busy")).toBool() &&
                                   m.value(QStringLiteral("current")).toInt() == wanted &&
                                   m.value(QStringLiteral("quietMs")).toDouble() >= kQuietMs;
                *answer = drawn ? 1 : -1;
            });
            QEventLoop loop;
            QTimer poll;
            poll.setInterval(5);
            connect(&poll, &QTimer::timeout, &loop, [&] {
                if (*answer != 0 || deadline.hasExpired())
                    loop.quit();
            });
            poll.start();
            loop.exec();
            if (!self)
                return false;
            if (*answer == 1)
                return true;
        }
        QEventLoop pause;
        QTimer::singleShot(kPollMs, &pause, &QEventLoop::quit);
        pause.exec();
        if (!self)
            return false;
    }
    return false;
}

void CMapView::resizeEvent(QResizeEvent *event)
{
    QWebEngineView::resizeEvent(event);
    if (bPageComplete)
        ReadPageSize();
}

// --- Keys and the right button ---------------------------------------------------------------

void CMapView::InstallKeyFilter(QObject *child)
{
    // The browser takes input through a child widget it creates itself (its focus proxy).
    if (child && child->isWidgetType())
        child->installEventFilter(this);
}

void CMapView::contextMenuEvent(QContextMenuEvent *event)
{
    // The browser's own menu (Back, Reload, ...) is never shown; the right button opens the
    // main window's map menu instead.
    event->accept();
}

bool CMapView::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        if (watched == this)
            InstallKeyFilter(static_cast<QChildEvent *>(event)->child());
        break;
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton) {
            if (m_mapMenu)
                m_mapMenu->popup(mouse->globalPosition().toPoint());
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Space:
        case Qt::Key_End:
        case Qt::Key_Home:
        case Qt::Key_Delete:
            emit GraphKey(key->key());
            break;
        case Qt::Key_Left:
        case Qt::Key_Right: {
            const int step = key->key() == Qt::Key_Left ? -1 : 1;
            const int frame = m_telemetry->FixToFrame().Find(static_cast<int64_t>(nShownFix) + step);
            if (nShownFix + step >= 0 && frame != -1) {
                m_position = frame;
                emit SeekRequested(frame);
                UpdateMapPosition();
            }
            break;
        }
        case Qt::Key_Up:
        case Qt::Key_Down:
            emit ControlBarKey(key->key());
            break;
        case Qt::Key_F5: return true; // the user never reloads the page
        default: break;
        }
        break;
    }
    default: break;
    }
    return QWebEngineView::eventFilter(watched, event);
}
