#include "tfmain.h"

#include "ui_tfmain.h"

#include "config/config_reply.h"
#include "config_bindings.h"
#include "string_table.h"
#include "write_feedback.h"

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
#include <utility>

using namespace torvex;

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string stdText(const QLineEdit *field) { return field->text().toStdString(); }

// A shared button's channel, as its row says; buttons of parameters without channels always address 0.
uint8_t channelOf(const QObject *sender, const ParamInfo &p)
{
    if (!p.hasChannels() || !sender)
        return 0;
    const ConfigBinding *row = bindingOfWriteButton(sender->objectName().toStdString());
    return row ? row->channel : 0;
}

void setBase(QLineEdit *field, const QColor &colour)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, colour);
    field->setPalette(palette);
}

void setNormal(QLineEdit *field)
{
    clearWriteResult(field); // the words go with the colour
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

QWidget *TFMain::configControl(const char *name) const
{
    return name ? findChild<QWidget *>(QLatin1String(name)) : nullptr;
}

bool TFMain::isListMarked(const QComboBox *list) { return list->property("noSelectionMark").toBool(); }

// The style paints a pick-only list with the button colour, an editable one with the base colour.
void TFMain::setListMarked(QComboBox *list, bool marked)
{
    if (list && !marked)
        clearWriteResult(list);
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
    for (const ConfigBinding &row : configBindings()) {
        if (auto *list = qobject_cast<QComboBox *>(configControl(row.control)))
            connect(list, &QComboBox::currentIndexChanged, this, [this, list] { setListMarked(list, false); });
    }
}

SendResult TFMain::sendWrite(const Payload &payload)
{
    const bool connected = Connected() && CurrentDevice() != nullptr;
    if (SendCommand(static_cast<uint8_t>(Command::ParameterWrite), payload.data.data(),
                    static_cast<unsigned>(payload.size)))
        return SendResult::Sent;
    return connected ? SendResult::Failed : SendResult::NotConnected;
}

void TFMain::requestRead(ParamId id, uint8_t channel)
{
    if (const auto readId = param(id).readId)
        SendReadRequest(*readId, channel);
}

void TFMain::requestReadOf(const QObject *readButton)
{
    if (const ConfigBinding *row = bindingOfReadButton(readButton->objectName().toStdString()))
        requestRead(row->id, row->channel);
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
    const ConfigBinding *row = findBinding(id, channel);
    auto *list = qobject_cast<QComboBox *>(row ? configControl(row->control) : nullptr);
    if (!list)
        return;
    const auto payload = listWritePayload(p, channel, list->currentIndex());
    setListMarked(list, !payload);
    if (payload) {
        showWriteResult(list, sendResultText(sendWrite(*payload)));
    } else {
        showNoSelection();
        showWriteResult(list, idsText(u"IDS_NO_SELECTION"));
    }
}

void TFMain::finishNumberWrite(QLineEdit *field, const NumberWrite &write)
{
    applyFieldOutcome(field, write.field);
    const SendResult sent = write.payload ? sendWrite(*write.payload) : SendResult::NotSent;
    showWriteResult(field, writeResultText(write.field, sent));
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
    finishNumberWrite(field, planNumberWrite(limited, channel, stdText(field), configNumberFormat));
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
    finishNumberWrite(field, planNumberWrite(*p, channel, stdText(field), configNumberFormat));
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
    showWriteResult(nullptr,
                    sendResultText(sendWrite(commandPayload(static_cast<uint8_t>(p.id), channelOf(Sender, p)))));
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
    const SendResult sent = write.payload ? sendWrite(*write.payload) : SendResult::NotSent;
    // The button pressed hears the outcome of the whole write; each field and list that decided it, its own.
    QString outcome = refusedForList ? idsText(u"IDS_NO_SELECTION") : sendResultText(sent);
    for (int k = 0; k < kOutputCount; ++k) {
        const FieldOutcome &threshold = write.thresholds[k];
        // A threshold not read (its output compares nothing, or the write stopped before it) says nothing.
        if (threshold.mark != FieldMark::Normal && (threshold.mark != FieldMark::Keep || write.payload))
            showWriteResult(outValueTable[k], writeResultText(threshold, sent));
        if (threshold.mark == FieldMark::Error)
            outcome = writeResultText(threshold, sent);
        for (QComboBox *list : {outSourceTable[k], outConditionTable[k], outStateTable[k]}) {
            if (isListMarked(list))
                showWriteResult(list, idsText(u"IDS_NO_SELECTION"));
        }
    }
    if (refusedForList)
        showNoSelection();
    showWriteResult(nullptr, outcome);
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
    const ConfigBinding *row = bindingOfControl(Sender->objectName().toStdString());
    if (row && row->field == ConfigField::Source)
        UpdateOutputEnable(row->channel);
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

// ------------------------------------------------------------------------------------------ reads

// Each asks for what its row of the binding table reads.
void TFMain::button_1Click() { requestReadOf(ui->button_1); }
void TFMain::button_2Click() { requestReadOf(ui->button_2); }
void TFMain::BitBtn14Click() { requestReadOf(ui->BitBtn14); }
void TFMain::BitBtn44Click() { requestReadOf(ui->BitBtn44); }
void TFMain::BitBtn10Click() { requestReadOf(ui->BitBtn10); }
void TFMain::BitBtn56Click() { requestReadOf(ui->BitBtn56); }
void TFMain::BitBtn54Click() { requestReadOf(ui->BitBtn54); }
void TFMain::BitBtn46Click() { requestReadOf(ui->BitBtn46); }
void TFMain::BitBtn12Click() { requestReadOf(ui->BitBtn12); }
void TFMain::BitBtn3Click() { requestReadOf(ui->BitBtn3); }
void TFMain::BitBtn8Click() { requestReadOf(ui->BitBtn8); }
void TFMain::BitBtn21Click() { requestReadOf(ui->BitBtn21); }
void TFMain::BitBtn23Click() { requestReadOf(ui->BitBtn23); }
void TFMain::BitBtn25Click() { requestReadOf(ui->BitBtn25); }
void TFMain::BitBtn19Click() { requestReadOf(ui->BitBtn19); }
void TFMain::BitBtn15Click() { requestReadOf(ui->BitBtn15); }
void TFMain::BitBtn17Click() { requestReadOf(ui->BitBtn17); }
void TFMain::DebugMemoClick() { requestRead(ParamId::ModbusStats, 0); }

void TFMain::DecodeConfigReply(std::span<const uint8_t> reply)
{
    if (const auto decoded = decodeConfigReply(reply))
        applyConfigReply(*decoded);
}

void TFMain::applyConfigReply(const ConfigReply &reply)
{
    const ReplyEffects effects = replyEffects(reply, configNumberFormat);
    for (const ValueUpdate &update : effects.updates) {
        const ConfigBinding *row = findBinding(update.id, update.channel, update.field);
        QWidget *control = row ? configControl(row->control) : nullptr;
        if (update.kind == ValueUpdate::Kind::Select) {
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
