#include "gui/window/AnimatedPicture.h"

#include <QMovie>

AnimatedPicture::AnimatedPicture(QWidget *parent) : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
}

AnimatedPicture::~AnimatedPicture() = default;

void AnimatedPicture::setPictureFile(const QString &path)
{
    pictureFile_ = path;
    clearPicture();
    if (path.isEmpty())
        return;

    // A file whose header reads well but whose first picture does not
    // decode (a truncated or damaged file) counts as unreadable too.
    auto *movie = new QMovie(path, QByteArray(), this);
    if (!movie->isValid() || !movie->jumpToFrame(0) || movie->currentImage().isNull()) {
        delete movie;
        return;
    }
    movie_ = movie;
    setMovie(movie_);
    movie_->start();
}

bool AnimatedPicture::hasPicture() const
{
    return movie_ != nullptr;
}

void AnimatedPicture::clearPicture()
{
    if (!movie_)
        return;
    movie_->stop();
    setMovie(nullptr);
    clear();
    delete movie_;
    movie_ = nullptr;
}
