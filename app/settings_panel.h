#pragma once
// The live settings of a scene's run: the values a person wants to turn
// while it runs (viscosity, each band's speed, gravity, the heat's expansion
// and held temperatures, the time step), each in a field holding the scene
// file's value. A value typed is handed on as text, to be read by the scene
// file's own rules; the panel itself decides nothing about it.

#include <QString>
#include <QWidget>

#include <vector>

class QFormLayout;
class QLineEdit;
struct Scene;

class SettingsPanel : public QWidget {
    Q_OBJECT

public:
    explicit SettingsPanel(QWidget* parent = nullptr);

    // The fields for this scene's values, as it now stands.
    void showScene(const Scene& scene);
    // The field of a scene file's key ("fluid.viscosity"), or null.
    QLineEdit* field(const QString& path) const;

signals:
    // A field's text changed and confirmed: the key and the text typed.
    void changeRequested(const QString& path, const QString& text);

private:
    struct Row {
        QString path;
        QLineEdit* edit;
    };
    QFormLayout* form;
    std::vector<Row> rows;
};
