#include "PortSource.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

#if defined(Q_OS_WIN)
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <windows.h>
#elif defined(Q_OS_LINUX) && defined(QEL_HAVE_UDEV)
#include <QSocketNotifier>
#include <libudev.h>
#endif

namespace {

constexpr int kDefaultPollMs = 2000;

} // namespace

// ---------------------------------------------------------------- device notification

#if defined(Q_OS_WIN)

// WM_DEVICECHANGE reaches every top-level window, without registration, for any device
// node change; a filter on the application sees it whichever window gets it.
struct TSystemPortSource::TNative : QAbstractNativeEventFilter
{
    explicit TNative(TSystemPortSource* owner) : fOwner(owner)
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~TNative() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType == "windows_generic_MSG" &&
            static_cast<const MSG*>(message)->message == WM_DEVICECHANGE)
            emit fOwner->deviceChange();
        return false; // the window handles the message as well
    }
    static std::unique_ptr<TNative> create(TSystemPortSource* owner)
    {
        if (!QCoreApplication::instance())
            return {};
        return std::make_unique<TNative>(owner);
    }
    static constexpr bool isUdev = false;
    TSystemPortSource* fOwner;
};

#elif defined(Q_OS_LINUX) && defined(QEL_HAVE_UDEV)

// The udev monitor reports tty devices once udev has set them up, so the port list read
// afterwards already has them. Without a running udevd no event ever comes, so then the
// caller polls instead.
struct TSystemPortSource::TNative
{
    ~TNative()
    {
        delete fNotifier; // before the socket it watches closes
        if (fMonitor)
            udev_monitor_unref(fMonitor);
        if (fUdev)
            udev_unref(fUdev);
    }
    static std::unique_ptr<TNative> create(TSystemPortSource* owner)
    {
        auto n = std::make_unique<TNative>();
        n->fUdev = udev_new();
        if (!n->fUdev || !udevRunning(n->fUdev))
            return {};
        n->fMonitor = udev_monitor_new_from_netlink(n->fUdev, "udev");
        if (!n->fMonitor ||
            udev_monitor_filter_add_match_subsystem_devtype(n->fMonitor, "tty", nullptr) < 0 ||
            udev_monitor_enable_receiving(n->fMonitor) < 0)
            return {};
        const int fd = udev_monitor_get_fd(n->fMonitor);
        if (fd < 0)
            return {};
        n->fNotifier = new QSocketNotifier(fd, QSocketNotifier::Read);
        TNative* self = n.get();
        QObject::connect(n->fNotifier, &QSocketNotifier::activated, owner, [self, owner] {
            // The socket is non-blocking: take all that is queued, report once.
            bool any = false;
            while (udev_device* d = udev_monitor_receive_device(self->fMonitor)) {
                udev_device_unref(d);
                any = true;
            }
            if (any)
                emit owner->deviceChange();
        });
        return n;
    }
    static bool udevRunning(udev* u)
    {
        udev_queue* q = udev_queue_new(u);
        if (!q)
            return false;
        const bool active = udev_queue_get_udev_is_active(q) > 0;
        udev_queue_unref(q);
        return active;
    }
    static constexpr bool isUdev = true;
    udev* fUdev = nullptr;
    udev_monitor* fMonitor = nullptr;
    QSocketNotifier* fNotifier = nullptr;
};

#else

// No device notification on this system: the port list is polled.
struct TSystemPortSource::TNative
{
    static std::unique_ptr<TNative> create(TSystemPortSource*) { return {}; }
    static constexpr bool isUdev = false;
};

#endif

// ---------------------------------------------------------------- system ports

TSystemPortSource::TSystemPortSource(QObject* parent)
    : IPortSource(parent), fNative(TNative::create(this))
{
    fPoll.setInterval(kDefaultPollMs);
    connect(&fPoll, &QTimer::timeout, this, &TSystemPortSource::onPoll);
    updatePolling();
}

TSystemPortSource::~TSystemPortSource() = default;

void TSystemPortSource::setExtraPorts(const QStringList& ports)
{
    fExtra = ports;
    updatePolling();
}

void TSystemPortSource::setPollInterval(int ms)
{
    fPoll.setInterval(std::max(1, ms));
}

bool TSystemPortSource::usesUdev() const
{
    return fNative && TNative::isUdev;
}

void TSystemPortSource::updatePolling()
{
    fLastNames = portNames();
    if (!fNative || !fExtra.isEmpty())
        fPoll.start();
    else
        fPoll.stop();
}

void TSystemPortSource::onPoll()
{
    const QStringList names = portNames();
    if (names == fLastNames)
        return;
    fLastNames = names;
    emit deviceChange();
}

QStringList TSystemPortSource::portNames() const
{
    QStringList names;
    for (const TPortInfo& p : ports())
        names.append(p.Port);
    names.sort();
    return names;
}

QList<TPortInfo> TSystemPortSource::ports() const
{
#ifdef Q_OS_WIN
    constexpr Qt::CaseSensitivity kNameCase = Qt::CaseInsensitive; // COM5 is com5
#else
    constexpr Qt::CaseSensitivity kNameCase = Qt::CaseSensitive;
#endif
    QList<TPortInfo> list;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        TPortInfo p;
#ifdef Q_OS_WIN
        p.Port = info.portName();
#else
        p.Port = info.systemLocation();
#endif
        QStringList text;
        if (!info.description().isEmpty())
            text.append(info.description());
        if (!info.manufacturer().isEmpty())
            text.append(info.manufacturer());
        p.Description = text.join(QStringLiteral(" - "));
        p.HasIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        if (p.HasIds) {
            p.Vid = info.vendorIdentifier();
            p.Pid = info.productIdentifier();
        }
        list.append(p);
    }
    for (const QString& extra : fExtra) {
#ifndef Q_OS_WIN
        if (!QFileInfo::exists(extra))
            continue;
#endif
        auto same = std::find_if(list.begin(), list.end(), [&](const TPortInfo& p) {
            return p.Port.compare(extra, kNameCase) == 0;
        });
        if (same != list.end()) {
            same->Forced = true; // listed by the system already: once is enough
            continue;
        }
        TPortInfo p;
        p.Port = extra;
        p.Description = QStringLiteral("--port");
        p.Forced = true;
        list.append(p);
    }
    return list;
}
