// Mirvale's message boxes, behind a seam so that tests record them instead
// of waiting for a click.
#pragma once

#include <QString>

class QWidget;

namespace mirvale {

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Critical(QWidget* parent, const QString& caption, const QString& text) = 0;
  virtual void Information(QWidget* parent, const QString& caption, const QString& text) = 0;
};

// The real boxes (QMessageBox, one OK button).
class QtMessageBoxes : public MessageBoxes {
 public:
  void Critical(QWidget* parent, const QString& caption, const QString& text) override;
  void Information(QWidget* parent, const QString& caption, const QString& text) override;
};

}  // namespace mirvale
