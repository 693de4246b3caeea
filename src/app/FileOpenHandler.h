#pragma once

#include <QCoroTask>
#include <QObject>
#include <QStringList>

namespace varno {

class DIContainer;

// What `varno FILE...`, "Open With" and a remote OpenUri do: import the
// files (and folders, with everything inside) and play them now, in the
// order given; a folder's songs in album order (album artist, album, disc,
// track). Waits for start-up to finish, so the library it adds to is
// the loaded one. Main thread only.
class FileOpenHandler final : public QObject {
    Q_OBJECT

public:
    explicit FileOpenHandler(DIContainer& container, QObject* parent = nullptr);

    // Command-line arguments (paths, relative to the working folder, or file
    // URLs) as absolute file URLs; anything else is left out with a line.
    static QStringList toFileUris(const QStringList& arguments);

    void open(const QStringList& uris);

signals:
    // One open has ended (its songs playing, or nothing to play).
    void finished();

private:
    QCoro::Task<> run(QStringList uris);

    DIContainer& m_container;
};

} // namespace varno
