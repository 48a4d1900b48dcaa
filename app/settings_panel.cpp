#include "app/settings_panel.h"

#include "sim/scene/live_settings.h"
#include "sim/scene/scene.h"

#include <QFormLayout>
#include <QLineEdit>

SettingsPanel::SettingsPanel(QWidget* parent) : QWidget(parent), form(new QFormLayout(this))
{
    setObjectName("settingsPanel");
}

void SettingsPanel::showScene(const Scene& scene)
{
    const std::vector<LiveSetting> settings = liveSettings(scene);
    // The same keys as shown (a value changed or refused, from a field's own
    // signal): their texts only, and no field goes.
    bool same = settings.size() == rows.size();
    for (size_t k = 0; same && k < rows.size(); ++k)
        same = rows[k].path == QString::fromStdString(settings[k].path);
    if (same) {
        for (size_t k = 0; k < rows.size(); ++k)
            rows[k].edit->setText(QString::fromStdString(settings[k].text));
        return;
    }
    while (form->rowCount() > 0)
        form->removeRow(0);
    rows.clear();
    for (const LiveSetting& setting : settings) {
        const QString path = QString::fromStdString(setting.path);
        auto* edit = new QLineEdit(QString::fromStdString(setting.text), this);
        edit->setObjectName(path);
        form->addRow(QString::fromStdString(setting.label), edit);
        rows.push_back({path, edit});
        connect(edit, &QLineEdit::editingFinished, this, [this, path, edit] {
            if (edit->isModified()) {
                edit->setModified(false);
                emit changeRequested(path, edit->text());
            }
        });
    }
}

QLineEdit* SettingsPanel::field(const QString& path) const
{
    for (const Row& row : rows)
        if (row.path == path)
            return row.edit;
    return nullptr;
}
