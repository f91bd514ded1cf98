#include "RecordingView.h"

namespace ktv::test {

QStringList RecordingView::messageTexts() const
{
    QStringList texts;
    for (const Message &m : messages)
        texts << m.text;
    return texts;
}

std::optional<QString> RecordingView::lastShown(Model model, Field field) const
{
    for (auto it = fields.crbegin(); it != fields.crend(); ++it)
        if (it->model == model && it->field == field)
            return it->reply;
    return {};
}

void RecordingView::showMessage(MessageIcon icon, const QString &text)
{
    messages.append({icon, text});
}

PanelEntries RecordingView::entriesOf(Model model, const SharedState &state) const
{
    PanelEntries entries{{}, state.SelectedProfile, state.AxisAddress};
    for (auto it = boxes.cbegin(); it != boxes.cend(); ++it)
        if (it.key().first == model)
            entries.texts.insert(it.key().second, it.value());
    return entries;
}

void RecordingView::setRunButtonsEnabled(Model model, bool enabled)
{
    events << QStringLiteral("run buttons %1 %2").arg(modelId(model), enabled ? "on" : "off");
}

void RecordingView::resetReadback(Model model, const QString &profile)
{
    events << QStringLiteral("reset %1 %2").arg(modelId(model), profile);
}

void RecordingView::showField(Model model, Field field, const std::optional<QString> &reply,
                              bool copyIntoBox)
{
    fields.append({model, field, reply, copyIntoBox});
}

void RecordingView::showSelectedAxis(Model model, const QString &address)
{
    events << QStringLiteral("axis %1 %2").arg(modelId(model), address);
}

} // namespace ktv::test
