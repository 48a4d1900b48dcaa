#include "app/settings_panel.h"

#include "sim/scene/scene.h"

#include <QFormLayout>
#include <QLineEdit>

#include <cmath>

namespace {

// As short as the value allows, and exact: what the field shows is what the scene holds.
QString shortest(double value)
{
    return QString::number(value, 'g', 17).toDouble() == QString::number(value, 'g', 6).toDouble()
               ? QString::number(value, 'g', 6)
               : QString::number(value, 'g', 17);
}

}  // namespace

SettingsPanel::SettingsPanel(QWidget* parent) : QWidget(parent), form(new QFormLayout(this))
{
    setObjectName("settingsPanel");
}

void SettingsPanel::showScene(const Scene& scene)
{
    struct Setting {
        QString label, path, text;
    };
    std::vector<Setting> settings;
    settings.push_back({"Viscosity", "fluid.viscosity", shortest(scene.viscosity)});
    for (size_t k = 0; k < scene.inflows.size(); ++k)
        settings.push_back({QString("Inflow %1 speed (%2)").arg(k + 1).arg(sideName(scene.inflows[k].range.side)),
                            QString("inflow[%1].speed").arg(k), shortest(scene.inflows[k].speed)});
    settings.push_back({"Gravity (x, y)", "fluid.gravity", shortest(scene.gravityX) + ", " + shortest(scene.gravityY)});
    if (scene.heat.enabled) {
        settings.push_back({"Expansion", "heat.expansion", shortest(scene.heat.expansion)});
        for (const Side side : {Side::left, Side::right, Side::top, Side::bottom})
            if (const double held = scene.heat.wall[int(side)]; !std::isnan(held))
                settings.push_back({QString("Temperature, %1 wall").arg(sideName(side)),
                                    QString("heat.walls.") + sideName(side), shortest(held)});
    }
    settings.push_back({"Time step", "time.step", shortest(scene.timeStep)});

    // The same keys as shown (a value changed or refused, from a field's own
    // signal): their texts only, and no field goes.
    bool same = settings.size() == rows.size();
    for (size_t k = 0; same && k < rows.size(); ++k)
        same = rows[k].path == settings[k].path;
    if (same) {
        for (size_t k = 0; k < rows.size(); ++k)
            rows[k].edit->setText(settings[k].text);
        return;
    }
    while (form->rowCount() > 0)
        form->removeRow(0);
    rows.clear();
    for (const Setting& setting : settings) {
        auto* edit = new QLineEdit(setting.text, this);
        edit->setObjectName(setting.path);
        form->addRow(setting.label, edit);
        rows.push_back({setting.path, edit});
        connect(edit, &QLineEdit::editingFinished, this, [this, path = setting.path, edit] {
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

bool settingValue(const QString& text, SceneValue& value, QString& problem)
{
    const QStringList parts = text.split(',');
    std::vector<SceneValue> numbers;
    for (const QString& part : parts) {
        bool ok = false;
        const double number = part.trimmed().toDouble(&ok);
        if (!ok)
            return problem = QString("\"%1\" is not a number").arg(part.trimmed()), false;
        numbers.push_back({SceneValue::Kind::number, number, 0, false, {}, {}});
    }
    if (numbers.size() == 1) {
        value = numbers[0];
    } else {
        value = SceneValue{};
        value.kind = SceneValue::Kind::list;
        value.items = std::move(numbers);
    }
    return true;
}
