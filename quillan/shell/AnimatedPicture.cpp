#include "shell/AnimatedPicture.h"

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

    auto *movie = new QMovie(path, QByteArray(), this);
    if (!movie->isValid()) {
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
