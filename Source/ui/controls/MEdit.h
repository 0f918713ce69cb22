// A skinned single-line edit: the caller's text and background colours and
// the program's plain font.
#pragma once

#include <QColor>
#include <QLineEdit>

class MEdit : public QLineEdit {
  Q_OBJECT
 public:
  MEdit(QWidget* parent, int id, const QRect& rect, const QColor& background, const QColor& text);

  int id() const { return id_; }
  // The text, or |fallback| when the edit is empty.
  QString GetText(const QString& fallback = QString()) const;
  void SetColors(const QColor& text, const QColor& background);

 signals:
  // The person changed the text (not SetText from code).
  void edited(int id);

 private:
  int id_;
};
