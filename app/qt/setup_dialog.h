#pragma once

#include <QDialog>

namespace dedarida {

// Form3, the setup dialog: created at start-up and never shown; nothing reads
// its choices. Main thread only.
class TForm3 : public QDialog {
public:
    explicit TForm3(QWidget* parent = nullptr);
};

} // namespace dedarida
