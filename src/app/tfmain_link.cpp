#include "tfmain.h"

#include "error_box.h"
#include "qt_ui_dispatcher.h"
#include "string_table.h"
#include "ui_tfmain.h"

#include <QListWidgetItem>

using torvex::THidDevice;

namespace {

// A ListBox1 entry. Labels sort without regard to letter case, as device names are listed elsewhere on the
// desktop; the link keeps its devices in the order the list gives them.
class DeviceEntry : public QListWidgetItem {
public:
    using QListWidgetItem::QListWidgetItem;

    bool operator<(const QListWidgetItem &other) const override
    {
        const int byCase = QString::compare(text(), other.text(), Qt::CaseInsensitive);
        return byCase != 0 ? byCase < 0 : text() < other.text();
    }
};

} // namespace

void TFMain::createDeviceLink(const TFMainOptions &options)
{
    if (!options.hidPlatform)
        return;
    auto dispatcher = std::make_shared<torvex::QtUiDispatcher>();
    // A report handler that fails (e.g. the log file cannot be written) reports like any other handler.
    dispatcher->setErrorHandler([] { torvex::showCurrentException(); });
    m_uiDispatcher = dispatcher;
    deviceLink.start(options.hidPlatform, m_uiDispatcher);
    deviceLink.setDataHandler([this](THidDevice *HidDev, uint8_t ReportID, const uint8_t *Data, uint16_t Size) {
        DeviceDataReceived(HidDev, ReportID, Data, Size);
    });
    HidDeviceController1 = deviceLink.controller();
    HidDeviceController1->OnEnumerate = [this](THidDevice *HidDev, int Idx) {
        return HidDeviceController1Enumerate(HidDev, Idx);
    };
    HidDeviceController1->OnDeviceChange = [this] { HidDeviceController1DeviceChange(); };
}

void TFMain::destroyDeviceLink()
{
    // The devices of the list stay claimed to the end; the controller closes and frees them with itself.
    HidDeviceController1 = nullptr;
    deviceLink.shutdown();
    ui->ListBox1->clear();
}

std::vector<THidDevice *> TFMain::listedDevices() const
{
    std::vector<THidDevice *> devices;
    for (const torvex::ListedDevice &listed : deviceLink.devices())
        devices.push_back(listed.device);
    return devices;
}

bool TFMain::HidDeviceController1Enumerate(THidDevice *HidDev, int Idx)
{
    torvex::ListedDevice listed = torvex::describeDevice(*HidDev, Idx);
    auto *entry = new DeviceEntry(QString::fromStdString(listed.label));
    ui->ListBox1->addItem(entry);                                         // sorted mode puts it in place
    deviceLink.list(std::move(listed), size_t(ui->ListBox1->row(entry))); // claims it for the entry
    setStatusPanelText(0, idsText(u"IDS_7"));
    setStatusPanelText(1, idsText(u"IDS_5"));
    return true;
}

void TFMain::HidDeviceController1DeviceChange()
{
    if (!HidDeviceController1)
        return;
    deviceLink.clear(); // disconnected until the pass has chosen again
    ui->ListBox1->clear();

    // A pass that lists nothing must not leave "connected" on show with no instrument behind it.
    if (HidDeviceController1->Enumerate() == 0)
        setStatusPanelText(1, idsText(u"IDS_5"));

    switch (deviceLink.connectChoice()) {
    case torvex::InstrumentLink::State::Connected:
        setStatusPanelText(1, idsText(u"IDS_4"));
        break;
    case torvex::InstrumentLink::State::NoAccess:
        setStatusPanelText(1, idsText(u"IDS_5"));
        break;
    default:
        break;
    }
}

bool TFMain::SendCommand(uint8_t command, const uint8_t *payload, unsigned count)
{
    return deviceLink.send(command, std::span<const uint8_t>(payload, payload ? count : 0));
}

void TFMain::SendReadRequest(uint8_t item, uint8_t channel)
{
    const auto payload = torvex::readRequestPayload(item, channel);
    SendCommand(static_cast<uint8_t>(torvex::Command::ReadRequest), payload.data(), unsigned(payload.size()));
}

void TFMain::DeviceDataReceived(THidDevice *, uint8_t, const uint8_t *Data, uint16_t Size)
{
    // The handler decides; a measurement is queued for the recorder's outputs while it runs, never written here.
    const torvex::ReportOutcome outcome = reportHandler.handle({Data, Data ? Size : 0u}, &recorder);
    if (outcome.configReply)
        applyConfigReply(*outcome.configReply);
    if (outcome.acknowledgement)
        setStatusPanelText(
            0, idsText(u"IDS_2") + QString::fromStdString(torvex::acknowledgementSuffix(*outcome.acknowledgement)));
}
