#pragma once
// A picture area that plays an animated GIF (or shows any still picture Qt
// can read) from a file, standing in for the animated-picture control that
// the splash and the About box carry.
//
// Setting PictureFile loads and starts the picture. A file that is missing,
// unreadable or not a picture leaves the area empty and says nothing: the
// windows that use it treat the picture as decoration.

#include <QLabel>
#include <QString>

class QMovie;

class AnimatedPicture : public QLabel {
    Q_OBJECT
public:
    explicit AnimatedPicture(QWidget *parent = nullptr);
    ~AnimatedPicture() override;

    // The file shown, as last set (also when it could not be loaded).
    QString PictureFile() const { return pictureFile_; }
    void setPictureFile(const QString &path);

    // True while a picture is loaded and shown.
    bool hasPicture() const;

private:
    void clearPicture();

    QString pictureFile_;
    QMovie *movie_ = nullptr;
};
