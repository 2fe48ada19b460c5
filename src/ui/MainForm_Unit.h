#pragma once
#include <QMainWindow>

namespace tovik {

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
};

}  // namespace tovik
