#include "tfmain.h"

#include "ui_tfmain.h"

#include "config/config_reply.h"
#include "string_table.h"

#include <QApplication>
#include <QColor>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPalette>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QStyle>

#include <algorithm>
#include <iterator>
#include <utility>

using namespace torvex;

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string stdText(const QLineEdit *field) { return field->text().toStdString(); }

// A shared button's channel; buttons of parameters without channels always address 0.
uint8_t channelOf(const QObject *sender, const ParamInfo &p)
{
    if (!p.hasChannels() || !sender)
        return 0;
    return channelFromName(sender->objectName().toStdString()).value_or(0);
}

void setBase(QLineEdit *field, const QColor &colour)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, colour);
    field->setPalette(palette);
}

void setNormal(QLineEdit *field)
{
    QPalette palette = field->palette();
    const QPalette system = QApplication::palette(field);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, system.color(group, QPalette::Base));
    field->setPalette(palette);
}

} // namespace

NumberFormat TFMain::systemNumberFormat()
{
    static const NumberFormat format = [] {
        const QLocale locale = QLocale::system();
        return NumberFormat{locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()};
    }();
    return format;
}

QColor TFMain::errorColour() { return QColor(253, 124, 102); }
QColor TFMain::correctedColour() { return QColor(192, 220, 192); }
QColor TFMain::normalFieldColour(const QLineEdit *field)
{
    return QApplication::palette(field).color(QPalette::Active, QPalette::Base);
}

QWidget *TFMain::configControl(std::string_view name) const { return findChild<QWidget *>(qs(name)); }

bool TFMain::isListMarked(const QComboBox *list) { return list->property("noSelectionMark").toBool(); }

// The style paints a pick-only list with the button colour, an editable one with the base colour.
void TFMain::setListMarked(QComboBox *list, bool marked)
{
    if (!list || isListMarked(list) == marked)
        return;
    list->setProperty("noSelectionMark", marked);
    // Windows' native style draws a pick-only list from the system theme and ignores the palette; there only a
    // style sheet shows the mark. Set before the palette: removing a style sheet brings back the palette the
    // list had when the sheet was set.
    if (QApplication::style()->name().compare(QLatin1String("windowsvista"), Qt::CaseInsensitive) == 0) {
        list->setStyleSheet(marked ? QStringLiteral("QComboBox { background-color: %1; }").arg(correctedColour().name())
                                   : QString());
    }
    QPalette palette = list->palette();
    const QPalette system = QApplication::palette(list);
    for (auto role : {QPalette::Button, QPalette::Base}) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, role, marked ? correctedColour() : system.color(group, role));
    }
    list->setPalette(palette);
}

void TFMain::showNoSelection() { setStatusPanelText(0, idsText(u"IDS_NO_SELECTION")); }

// A list the user or a reply gives a selection is no longer in want of one.
void TFMain::wireListMarks()
{
    std::vector<QComboBox *> lists;
    for (const ParamInfo &p : paramCatalogue()) {
        if (p.encoding != Encoding::ListIndex && p.encoding != Encoding::Address)
            continue;
        for (int channel = 0; channel < p.channelCount(); ++channel)
            lists.push_back(qobject_cast<QComboBox *>(configControl(p.controls[size_t(channel)])));
    }
    for (int k = 0; k < kOutputCount; ++k) {
        const OutputControls &c = outputControls(k);
        for (std::string_view name : {c.source, c.condition, c.state})
            lists.push_back(qobject_cast<QComboBox *>(configControl(name)));
    }
    for (QComboBox *list : lists) {
        if (list)
            connect(list, &QComboBox::currentIndexChanged, this, [this, list] { setListMarked(list, false); });
    }
}

void TFMain::sendWrite(const Payload &payload)
{
    SendCommand(static_cast<uint8_t>(Command::ParameterWrite), payload.data.data(),
                static_cast<unsigned>(payload.size));
}

void TFMain::sendReadFor(std::string_view controlName)
{
    if (const auto request = findReadButton(controlName))
        SendReadRequest(request->id, request->channel);
}

// ------------------------------------------------------------------------------------------ writes

void TFMain::applyFieldOutcome(QLineEdit *field, const FieldOutcome &outcome)
{
    switch (outcome.mark) {
    case FieldMark::Keep:
        break;
    case FieldMark::Error:
        setBase(field, errorColour());
        break;
    case FieldMark::Corrected:
        // Some fields reset their colour on any text change, so the colour goes after the text.
        field->setText(qs(outcome.correctedText));
        setBase(field, correctedColour());
        break;
    case FieldMark::Normal:
        setNormal(field);
        break;
    }
}

void TFMain::writeListParam(QObject *Sender, ParamId id)
{
    const ParamInfo &p = param(id);
    const uint8_t channel = channelOf(Sender, p);
    auto *list = qobject_cast<QComboBox *>(configControl(p.controls[channel]));
    if (!list)
        return;
    const auto payload = listWritePayload(p, channel, list->currentIndex());
    setListMarked(list, !payload);
    if (payload)
        sendWrite(*payload);
    else
        showNoSelection();
}

void TFMain::WriteIntParam(QObject *Sender, uint8_t id, const std::array<QLineEdit *, kChannelCount> &fields,
                           int32_t lower, int32_t upper)
{
    const ParamInfo *p = findParam(id);
    if (!p)
        return;
    ParamInfo limited = *p;
    limited.minValue = lower;
    limited.maxValue = upper;
    const uint8_t channel = channelOf(Sender, limited);
    QLineEdit *field = fields[channel];
    if (!field)
        return;
    const NumberWrite write = planNumberWrite(limited, channel, stdText(field), configNumberFormat);
    applyFieldOutcome(field, write.field);
    if (write.payload)
        sendWrite(*write.payload);
}

void TFMain::WriteFloatParam(QObject *Sender, uint8_t id, const std::array<QLineEdit *, kChannelCount> &fields)
{
    const ParamInfo *p = findParam(id);
    if (!p)
        return;
    const uint8_t channel = channelOf(Sender, *p);
    QLineEdit *field = fields[channel];
    if (!field)
        return;
    const NumberWrite write = planNumberWrite(*p, channel, stdText(field), configNumberFormat);
    applyFieldOutcome(field, write.field);
    if (write.payload)
        sendWrite(*write.payload);
}

void TFMain::button_encmode1Click(QObject *Sender) { writeListParam(Sender, ParamId::EncMode); }

void TFMain::button_time1Click(QObject *Sender)
{
    const ParamInfo &p = param(ParamId::EncGateTime);
    WriteIntParam(Sender, static_cast<uint8_t>(p.id), encTimeTable, p.minValue, p.maxValue);
}

void TFMain::button_resolution1Click(QObject *Sender)
{
    const ParamInfo &p = param(ParamId::EncResolution);
    WriteIntParam(Sender, static_cast<uint8_t>(p.id), encResolutionTable, p.minValue, p.maxValue);
}

void TFMain::button_enccoeff1Click(QObject *Sender)
{
    WriteFloatParam(Sender, static_cast<uint8_t>(ParamId::EncCoeff), encCoeffTable);
}

void TFMain::button_encoffset1Click()
{
    WriteFloatParam(ui->button_encoffset1, static_cast<uint8_t>(ParamId::EncOffset), encOffsetTable);
}

void TFMain::button_encoffset2Click()
{
    WriteFloatParam(ui->button_encoffset2, static_cast<uint8_t>(ParamId::EncOffset), encOffsetTable);
}

void TFMain::button_encoffset3Click()
{
    WriteFloatParam(ui->button_encoffset3, static_cast<uint8_t>(ParamId::EncOffset), encOffsetTable);
}

void TFMain::button_encclearC3Click(QObject *Sender) { writeListParam(Sender, ParamId::EncClearByIndex); }

void TFMain::button_encclear1Click(QObject *Sender)
{
    const ParamInfo &p = param(ParamId::EncClearPosition);
    sendWrite(commandPayload(static_cast<uint8_t>(p.id), channelOf(Sender, p)));
}

void TFMain::BitBtn43Click()
{
    std::array<RuleInput, kOutputCount> rules;
    for (int k = 0; k < kOutputCount; ++k)
        rules[k] = {outSourceTable[k]->currentIndex(), outConditionTable[k]->currentIndex(),
                    outStateTable[k]->currentIndex(), stdText(outValueTable[k])};
    const RulesWrite write = planRulesWrite(rules, configNumberFormat);
    bool refusedForList = false;
    for (int k = 0; k < kOutputCount; ++k) {
        applyFieldOutcome(outValueTable[k], write.thresholds[k]);
        const RuleListMarks &marks = write.unselected[k];
        setListMarked(outSourceTable[k], marks.source);
        setListMarked(outConditionTable[k], marks.condition);
        setListMarked(outStateTable[k], marks.state);
        refusedForList = refusedForList || marks != RuleListMarks{};
    }
    if (write.payload)
        sendWrite(*write.payload);
    if (refusedForList)
        showNoSelection();
}

void TFMain::BitBtn9Click() { writeListParam(nullptr, ParamId::TriggerMasterMode); }

void TFMain::BitBtn55Click()
{
    const ParamInfo &p = param(ParamId::TriggerFilter);
    WriteIntParam(nullptr, static_cast<uint8_t>(p.id), {ui->trigger_filter, nullptr, nullptr}, p.minValue, p.maxValue);
}

void TFMain::BitBtn53Click() { writeListParam(nullptr, ParamId::TransmissionMode); }

void TFMain::BitBtn45Click()
{
    const ParamInfo &p = param(ParamId::SendInterval);
    WriteIntParam(nullptr, static_cast<uint8_t>(p.id), {ui->trigger_time, nullptr, nullptr}, p.minValue, p.maxValue);
}

void TFMain::button_trigmastetype_1Click(QObject *Sender) { writeListParam(Sender, ParamId::TriggerRegisterType); }
void TFMain::BitBtn20Click() { writeListParam(nullptr, ParamId::GreenDisplay); }
void TFMain::BitBtn22Click() { writeListParam(nullptr, ParamId::RedDisplay); }
void TFMain::BitBtn24Click() { writeListParam(nullptr, ParamId::Beeper); }
void TFMain::BitBtn18Click() { writeListParam(nullptr, ParamId::DotPosition); }
void TFMain::BitBtn7Click() { writeListParam(nullptr, ParamId::ModbusAddress); }
void TFMain::BitBtn16Click() { writeListParam(nullptr, ParamId::ModbusBaud); }

void TFMain::enc_time_1Change(QObject *Sender)
{
    if (auto *field = qobject_cast<QLineEdit *>(Sender))
        setNormal(field);
}

void TFMain::out1_WChange(QObject *Sender)
{
    if (!Sender)
        return;
    if (const auto output = outputFromName(Sender->objectName().toStdString()))
        UpdateOutputEnable(*output);
}

void TFMain::UpdateOutputEnable(int output)
{
    if (output < 0 || output >= kOutputCount)
        return;
    const bool compares = outputSourceCompares(outSourceTable[output]->currentIndex());
    outConditionTable[output]->setEnabled(compares);
    outValueTable[output]->setEnabled(compares);
    outStateTable[output]->setEnabled(compares);
    if (!compares) { // a disabled list is never in the way of a write
        setListMarked(outConditionTable[output], false);
        setListMarked(outStateTable[output], false);
    }
}

TFMain::WriteHandler TFMain::writeHandler(ParamId id, uint8_t channel)
{
    switch (id) {
    case ParamId::EncMode:
        return {.shared = &TFMain::button_encmode1Click};
    case ParamId::EncGateTime:
        return {.shared = &TFMain::button_time1Click};
    case ParamId::EncResolution:
        return {.shared = &TFMain::button_resolution1Click};
    case ParamId::EncCoeff:
        return {.shared = &TFMain::button_enccoeff1Click};
    case ParamId::EncOffset: {
        static constexpr Handler kOffset[kChannelCount] = {
            &TFMain::button_encoffset1Click, &TFMain::button_encoffset2Click, &TFMain::button_encoffset3Click};
        return {.own = channel < kChannelCount ? kOffset[channel] : nullptr};
    }
    case ParamId::EncClearByIndex:
        return {.shared = &TFMain::button_encclearC3Click};
    case ParamId::EncClearPosition:
        return {.shared = &TFMain::button_encclear1Click};
    case ParamId::OutputRules:
        return {.own = &TFMain::BitBtn43Click};
    case ParamId::TriggerMasterMode:
        return {.own = &TFMain::BitBtn9Click};
    case ParamId::TriggerFilter:
        return {.own = &TFMain::BitBtn55Click};
    case ParamId::TransmissionMode:
        return {.own = &TFMain::BitBtn53Click};
    case ParamId::SendInterval:
        return {.own = &TFMain::BitBtn45Click};
    case ParamId::TriggerRegisterType:
        return {.shared = &TFMain::button_trigmastetype_1Click};
    case ParamId::GreenDisplay:
        return {.own = &TFMain::BitBtn20Click};
    case ParamId::RedDisplay:
        return {.own = &TFMain::BitBtn22Click};
    case ParamId::Beeper:
        return {.own = &TFMain::BitBtn24Click};
    case ParamId::DotPosition:
        return {.own = &TFMain::BitBtn18Click};
    case ParamId::ModbusAddress:
        return {.own = &TFMain::BitBtn7Click};
    case ParamId::ModbusBaud:
        return {.own = &TFMain::BitBtn16Click};
    case ParamId::EncoderBlock:
    case ParamId::ModbusStats:
        break;
    }
    return {};
}

// ------------------------------------------------------------------------------------------ reads

TFMain::Handler TFMain::readHandler(std::string_view buttonName)
{
    static constexpr std::pair<std::string_view, Handler> kHandlers[] = {
        {"button_1", &TFMain::button_1Click}, {"button_2", &TFMain::button_2Click},
        {"BitBtn14", &TFMain::BitBtn14Click}, {"BitBtn44", &TFMain::BitBtn44Click},
        {"BitBtn10", &TFMain::BitBtn10Click}, {"BitBtn56", &TFMain::BitBtn56Click},
        {"BitBtn54", &TFMain::BitBtn54Click}, {"BitBtn46", &TFMain::BitBtn46Click},
        {"BitBtn12", &TFMain::BitBtn12Click}, {"BitBtn3", &TFMain::BitBtn3Click},
        {"BitBtn8", &TFMain::BitBtn8Click},   {"BitBtn21", &TFMain::BitBtn21Click},
        {"BitBtn23", &TFMain::BitBtn23Click}, {"BitBtn25", &TFMain::BitBtn25Click},
        {"BitBtn19", &TFMain::BitBtn19Click}, {"BitBtn15", &TFMain::BitBtn15Click},
        {"BitBtn17", &TFMain::BitBtn17Click},
    };
    const auto *found = std::ranges::find(kHandlers, buttonName, &std::pair<std::string_view, Handler>::first);
    return found == std::end(kHandlers) ? nullptr : found->second;
}

// Each asks for what the catalogue says its button reads.
void TFMain::button_1Click() { sendReadFor("button_1"); }
void TFMain::button_2Click() { sendReadFor("button_2"); }
void TFMain::BitBtn14Click() { sendReadFor("BitBtn14"); }
void TFMain::BitBtn44Click() { sendReadFor("BitBtn44"); }
void TFMain::BitBtn10Click() { sendReadFor("BitBtn10"); }
void TFMain::BitBtn56Click() { sendReadFor("BitBtn56"); }
void TFMain::BitBtn54Click() { sendReadFor("BitBtn54"); }
void TFMain::BitBtn46Click() { sendReadFor("BitBtn46"); }
void TFMain::BitBtn12Click() { sendReadFor("BitBtn12"); }
void TFMain::BitBtn3Click() { sendReadFor("BitBtn3"); }
void TFMain::BitBtn8Click() { sendReadFor("BitBtn8"); }
void TFMain::BitBtn21Click() { sendReadFor("BitBtn21"); }
void TFMain::BitBtn23Click() { sendReadFor("BitBtn23"); }
void TFMain::BitBtn25Click() { sendReadFor("BitBtn25"); }
void TFMain::BitBtn19Click() { sendReadFor("BitBtn19"); }
void TFMain::BitBtn15Click() { sendReadFor("BitBtn15"); }
void TFMain::BitBtn17Click() { sendReadFor("BitBtn17"); }
void TFMain::DebugMemoClick() { sendReadFor(kStatsMemoName); }

void TFMain::DecodeConfigReply(std::span<const uint8_t> reply)
{
    if (const auto decoded = decodeConfigReply(reply))
        applyConfigReply(*decoded);
}

void TFMain::applyConfigReply(const ConfigReply &reply)
{
    const ReplyEffects effects = replyEffects(reply, configNumberFormat);
    for (const ControlUpdate &update : effects.updates) {
        QWidget *control = configControl(update.control);
        if (update.kind == ControlUpdate::Kind::Select) {
            if (auto *list = qobject_cast<QComboBox *>(control)) {
                // A value put in by the program is not a user's choice: no change handler runs.
                {
                    const QSignalBlocker quiet(list);
                    list->setCurrentIndex(update.index);
                }
                setListMarked(list, false);
            }
        } else if (auto *field = qobject_cast<QLineEdit *>(control)) {
            field->setText(qs(update.text));
        }
    }
    if (effects.refreshOutputEnable) {
        for (int k = 0; k < kOutputCount; ++k)
            UpdateOutputEnable(k);
    }
    if (effects.stats) {
        modbusStats = *effects.stats;
        QStringList lines;
        for (const std::string &line : effects.memoLines)
            lines << qs(line);
        ui->DebugMemo->setPlainText(lines.join(QLatin1Char('\n')));
    }
}
