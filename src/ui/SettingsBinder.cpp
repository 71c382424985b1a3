#include "ui/SettingsBinder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLocale>
#include <QTimeEdit>
#include <stdexcept>
#include <string>

#include "config/SettingsModel.h"

namespace horalux::ui {

namespace {

QStringList toQt(const std::vector<std::string>& items) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items) {
        list.push_back(QString::fromStdString(item));
    }
    return list;
}

bool sameItems(const QComboBox& box, const QStringList& items) {
    if (box.count() != items.size()) {
        return false;
    }
    for (int i = 0; i < box.count(); ++i) {
        if (box.itemText(i) != items[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

template <class Widget>
Widget& SettingsBinder::find(const std::string& name) const {
    // Names match without regard to case, as the model's do ("cb19" finds "Cb19").
    for (Widget* widget : form_.findChildren<Widget*>()) {
        if (widget->objectName().compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0) {
            return *widget;
        }
    }
    throw std::logic_error("the form has no control " + name);
}

void SettingsBinder::show(const config::SettingsModel& model) const {
    for (const std::string& name : model.listNames()) {
        auto& box = find<QComboBox>(name);
        // Refilling a long list is slow and would lose typed text; most lists never change.
        if (const QStringList items = toQt(model.items(name)); !sameItems(box, items)) {
            box.clear();
            box.addItems(items);
        }
        box.setCurrentIndex(model.position(name).value_or(-1));
    }
    for (const std::string& name : model.checkBoxNames()) {
        find<QCheckBox>(name).setChecked(model.checked(name));
    }
    for (const std::string& name : model.pickerNames()) {
        const config::TimePicker& state = model.picker(name);
        auto& picker = find<QTimeEdit>(name);
        picker.setTime(QTime(state.hour, state.minute));
        picker.setEnabled(state.enabled);
    }
}

void SettingsBinder::read(config::SettingsModel& model) const {
    for (const std::string& name : model.listNames()) {
        const auto& box = find<QComboBox>(name);
        if (box.isEditable()) {
            model.chooseText(name, box.currentText().toStdString());
        } else {
            model.setPosition(name, box.currentIndex() < 0
                                        ? std::nullopt
                                        : std::optional<int>(box.currentIndex()));
        }
    }
    for (const std::string& name : model.checkBoxNames()) {
        model.setChecked(name, find<QCheckBox>(name).isChecked());
    }
    for (const std::string& name : model.pickerNames()) {
        const QTime time = find<QTimeEdit>(name).time();
        model.setTime(name, time.hour(), time.minute());
    }
}

char localeDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point[0].unicode() < 0x80 ? static_cast<char>(point[0].unicode())
                                                          : '.';
}

}  // namespace horalux::ui
