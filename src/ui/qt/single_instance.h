#pragma once

// One program a user. The first start holds a lock file in the user's runtime folder and listens
// on a local socket beside it; a later start tells the first one through the socket to bring its
// window to the front and ends, so that two windows never download the same archive side by side.
// A lock left behind by a program that was killed is taken over.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace quorvane::ui {

class SingleInstance final : public QObject {
    Q_OBJECT
  public:
    // Tries to become the first run, in folder (by default the user's runtime folder).
    explicit SingleInstance(const QString& folder = defaultFolder());
    ~SingleInstance() override;

    static QString defaultFolder();

    // True when this is the only run; it then listens for later ones.
    bool first() const { return server_ != nullptr; }

    // For a later run: asks the first one to show its window, waiting at most waitMs for a
    // first run that is still starting up. False when none answered.
    bool askFirstToShow(int waitMs = 5000) const;

  signals:
    // A later start asked for the window.
    void showRequested();

  private:
    void onConnection();

    QString socketPath_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace quorvane::ui
