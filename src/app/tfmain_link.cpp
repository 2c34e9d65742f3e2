#include "tfmain.h"

#include "device/product_name.h"
#include "error_box.h"
#include "qt_ui_dispatcher.h"
#include "string_table.h"
#include "ui_tfmain.h"

#include <QListWidgetItem>

using torvex::THidDevice;

namespace {

// A ListBox1 entry: the label plus the claimed device it owns. Labels sort without regard to letter case,
// as device names are listed elsewhere on the desktop.
class DeviceEntry : public QListWidgetItem {
public:
    DeviceEntry(const QString &label, THidDevice *claimed) : QListWidgetItem(label), device(claimed) {}

    bool operator<(const QListWidgetItem &other) const override
    {
        const int byCase = QString::compare(text(), other.text(), Qt::CaseInsensitive);
        return byCase != 0 ? byCase < 0 : text() < other.text();
    }

    THidDevice *device;
};

QString deviceLabel(THidDevice &device)
{
    return QString::fromStdString(torvex::deviceListLabel(device.ProductName(), device.VendorId(), device.ProductId()));
}

} // namespace

void TFMain::createDeviceLink(const TFMainOptions &options)
{
    if (!options.hidPlatform)
        return;
    auto dispatcher = std::make_shared<torvex::QtUiDispatcher>();
    // A report handler that fails (e.g. the log file cannot be written) reports like any other handler.
    dispatcher->setErrorHandler([] { torvex::showCurrentException(); });
    m_uiDispatcher = dispatcher;
    HidDeviceController1 = std::make_unique<torvex::THidDeviceController>(options.hidPlatform, m_uiDispatcher);
    HidDeviceController1->OnEnumerate = [this](THidDevice *HidDev, int Idx) {
        return HidDeviceController1Enumerate(HidDev, Idx);
    };
    HidDeviceController1->OnDeviceChange = [this] { HidDeviceController1DeviceChange(); };
}

void TFMain::destroyDeviceLink()
{
    // The devices of the list stay claimed to the end; the controller closes and frees them with itself.
    CurrentDevice = nullptr;
    HidDeviceController1.reset();
    for (int row = 0; row < ui->ListBox1->count(); ++row)
        static_cast<DeviceEntry *>(ui->ListBox1->item(row))->device = nullptr;
    ui->ListBox1->clear();
}

std::vector<THidDevice *> TFMain::listedDevices() const
{
    std::vector<THidDevice *> devices;
    for (int row = 0; row < ui->ListBox1->count(); ++row)
        devices.push_back(static_cast<DeviceEntry *>(ui->ListBox1->item(row))->device);
    return devices;
}

bool TFMain::HidDeviceController1Enumerate(THidDevice *HidDev, int Idx)
{
    auto *entry = new DeviceEntry(deviceLabel(*HidDev), nullptr);
    ui->ListBox1->addItem(entry); // sorted mode puts it in place
    entry->device = HidDeviceController1->ClaimByIndex(Idx);
    setStatusPanelText(0, idsText(u"IDS_7"));
    setStatusPanelText(1, idsText(u"IDS_5"));
    Connected = false;
    return true;
}

void TFMain::clearDeviceList()
{
    for (int row = 0; row < ui->ListBox1->count(); ++row) {
        auto *entry = static_cast<DeviceEntry *>(ui->ListBox1->item(row));
        if (THidDevice *device = std::exchange(entry->device, nullptr))
            device->Release();
    }
    ui->ListBox1->clear();
}

void TFMain::HidDeviceController1DeviceChange()
{
    if (!HidDeviceController1)
        return;
    if (CurrentDevice) {
        CurrentDevice->SetDataHandler(nullptr);
        CurrentDevice = nullptr;
    }
    clearDeviceList();

    // A pass that lists nothing must not leave "connected" on show with no instrument behind it.
    if (HidDeviceController1->Enumerate() == 0) {
        Connected = false;
        setStatusPanelText(1, idsText(u"IDS_5"));
    }

    for (int row = 0; row < ui->ListBox1->count(); ++row) {
        auto *entry = static_cast<DeviceEntry *>(ui->ListBox1->item(row));
        if (entry->text() != QLatin1String("TORVEX") || entry->device == nullptr)
            continue;
        if (CurrentDevice)
            CurrentDevice->SetDataHandler(nullptr);
        CurrentDevice = entry->device;
        if (CurrentDevice->ReadWriteAccess()) {
            CurrentDevice->SetDataHandler([this](THidDevice *HidDev, uint8_t ReportID, const uint8_t *Data,
                                                 uint16_t Size) { DeviceDataReceived(HidDev, ReportID, Data, Size); });
            setStatusPanelText(1, idsText(u"IDS_4"));
            Connected = true;
        } else {
            CurrentDevice->SetDataHandler(nullptr);
            setStatusPanelText(1, idsText(u"IDS_5"));
            Connected = false;
        }
    }
}

void TFMain::SendCommand(uint8_t command, const uint8_t *payload, unsigned count)
{
    m_outputBuffer.fill(0);
    if (!Connected || CurrentDevice == nullptr)
        return;
    // The device layer reports failures by result; nothing of a failed send reaches the user.
    const torvex::THidCaps caps = CurrentDevice->Caps();
    const auto report = torvex::frameOutputReport(
        m_outputBuffer, command, std::span<const uint8_t>(payload, payload ? count : 0), caps.OutputReportLength);
    if (report.empty())
        return;
    uint32_t written = 0;
    CurrentDevice->WriteReport(report.data(), static_cast<uint32_t>(report.size()), written);
}

void TFMain::SendReadRequest(uint8_t item, uint8_t channel)
{
    const uint8_t payload[2] = {item, channel};
    SendCommand(static_cast<uint8_t>(torvex::Command::ReadRequest), payload, 2);
}

void TFMain::DeviceDataReceived(THidDevice *, uint8_t, const uint8_t *Data, uint16_t Size)
{
    // The handler decides; measurement lines reach the log file through handOverLogLine while it runs.
    const torvex::ReportOutcome outcome = reportHandler.handle({Data, Data ? Size : 0u}, *this);
    if (outcome.configReply)
        applyConfigReply(*outcome.configReply);
    if (outcome.acknowledgement)
        setStatusPanelText(0, idsText(u"IDS_2") + QString::fromStdString(*outcome.acknowledgement));
}
