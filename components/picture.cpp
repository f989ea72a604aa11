#include "components/picture.h"

#include <algorithm>
#include <climits>

#include "platform/canvas.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/stream.h"

namespace vx {

namespace {

std::string PathOf(std::u16string_view file) { return FileNameFromUtf16(file); }

}  // namespace

TOSDPicute::TOSDPicute()
    : hidetimer_(std::make_unique<TTimer>()), movietimer_(std::make_unique<TTimer>()) {
  hidetimer_->SetEnabled(false);
  hidetimer_->SetInterval(static_cast<std::uint32_t>(hideTime_));
  hidetimer_->OnTimer = [this] { OnHideTimer(); };
  movietimer_->SetEnabled(false);
  movietimer_->SetInterval(static_cast<std::uint32_t>(movieTime_));
  movietimer_->OnTimer = [this] { OnMovieTimer(); };
}

TOSDPicute::~TOSDPicute() = default;

void TOSDPicute::SethideTime(int ms) {
  hideTime_ = ms;
  // 0 (or less) never fires: the picture stays.
  hidetimer_->SetInterval(static_cast<std::uint32_t>(std::max(ms, 0)));
}

void TOSDPicute::SetmovieTime(int ms) {
  movieTime_ = ms;
  movietimer_->SetInterval(static_cast<std::uint32_t>(std::max(ms, 0)));
}

void TOSDPicute::SetVisible(bool value) {
  visible = value;
  (movieon_ ? movietimer_ : hidetimer_)->SetEnabled(value);
  DrawCaption();
}

void TOSDPicute::StopTimers() {
  hidetimer_->SetEnabled(false);
  movietimer_->SetEnabled(false);
}

void TOSDPicute::KeepPicture() { picture_.Assign(*this); }

void TOSDPicute::ShowPicture(const TBitmap *picture) {
  if (picture != nullptr) {
    Assign(*picture);
  } else {
    SetWidth(0);
    SetHeight(0);
  }
  KeepPicture();
}

void TOSDPicute::CopyPart(TBitmap &picture, int index) {
  const int part = picture.Width() / std::max(splitcount_, 1);
  const long long left = static_cast<long long>(index) * part;
  const TRect src = Rect(static_cast<int>(left), 0, static_cast<int>(left + part), picture.Height());
  const TRect dest = Rect(0, 0, part, picture.Height());
  Canvas().CopyRect(dest, picture.Canvas(), src);
  picture_.Canvas().CopyRect(dest, picture.Canvas(), src);
}

void TOSDPicute::ShowSplit(TBitmap &picture, int count) {
  const int part = picture.Width() / count;
  SetHeight(picture.Height());
  SetWidth(part);
  KeepPicture();
  CopyPart(picture, 0);
}

void TOSDPicute::LoadPicture(const std::string &file, TPictureRead read) {
  const std::shared_ptr<TBitmap> picture = Pictures().Load(file, read);
  ShowPicture(picture.get());
}

std::shared_ptr<TBitmap> TOSDPicute::ReadFile(const std::string &file) {
  std::shared_ptr<TBitmap> picture = Pictures().Load(file, TPictureRead::FromFile);
  missing_file_ = picture ? std::string() : file;
  return picture;
}

void TOSDPicute::SetPicFile(std::u16string_view file) { SetPicFile(PathOf(file)); }

void TOSDPicute::SetPicFile(const std::string &file) {
  // May refuse: nothing has changed then.
  const std::shared_ptr<TBitmap> picture = ReadFile(file);
  ShowPicture(picture.get());
  splitcount_ = 1;
  splitindex_ = 0;
  movieon_ = false;
  StopTimers();
  DropUnreachablePictures();
}

void TOSDPicute::SetPicSplitFile(std::u16string_view file, int count) {
  SetPicSplitFile(PathOf(file), count);
}

void TOSDPicute::SetPicSplitFile(const std::string &file, int count) {
  if (count < 0)
    throw EInvalidOperation("The split count " + std::to_string(count) + " is negative");
  const std::shared_ptr<TBitmap> picture = ReadFile(file);
  if (!picture) {
    ShowPicture(nullptr);
  } else if (count != 0) {
    splitfile_ = file;
    splitcount_ = count;
    ShowSplit(*picture, count);
  } else {
    splitfile_.clear();
    splitcount_ = 1;
    ShowPicture(picture.get());
  }
  DropUnreachablePictures();
}

void TOSDPicute::SetPicSplitShow(int index) {
  ShowPart(index, TPictureRead::FromFile);
  DropUnreachablePictures();
}

void TOSDPicute::DropUnreachablePictures() {
  cache_.Retain([this](const std::string &path) { return MovieMayShow(path); });
}

bool TOSDPicute::MovieMayShow(const std::string &path) const {
  if (!movieon_) return false;
  if (splitmovie_) return path == splitfile_;
  if (pattern_) return pattern_->MayFormat(path);
  return path == moviefile_;
}

void TOSDPicute::ShowPart(int index, TPictureRead read) {
  if (splitcount_ < 2) return;
  if (index < 0 || index >= splitcount_)
    throw ERangeError("The split index " + std::to_string(index) + " is outside the parts 0.." +
                      std::to_string(splitcount_ - 1));
  const std::shared_ptr<TBitmap> picture = Pictures().Load(splitfile_, read);
  if (!picture) throw EFOpenError("The split file \"" + splitfile_ + "\" can no longer be read");
  splitindex_ = index;
  CopyPart(*picture, index);
}

void TOSDPicute::SetPicSplitTextPos(int x, int step) {
  splittextx_ = x;
  splittextstep_ = step;
}

void TOSDPicute::SetPicMovie(std::u16string_view file, int first, int last) {
  SetPicMovie(PathOf(file), first, last);
}

void TOSDPicute::SetPicMovie(const std::string &file, int first, int last) {
  const bool split = file.find('%') == std::string::npos;
  // Everything that can fail comes first, so that a refused movie changes nothing.
  std::optional<TMoviePattern> pattern;
  std::shared_ptr<TBitmap> picture;
  if (last == 0) {
    // The name itself is the first picture; a movie that still has frames to go (first
    // below 0) formats each one as it ticks. A name that is no pattern stays one picture.
    if (!split) pattern = TMoviePattern::Parse(file);
    picture = ReadFile(file);
  } else if (split) {
    if (last < 0)
      throw EInvalidOperation("The split count " + std::to_string(last) + " is negative");
    picture = ReadFile(file);
  } else {
    pattern = TMoviePattern::Parse(file);
    if (!pattern)
      throw EConvertError("The movie name \"" + file +
                          "\" must hold exactly one integer placeholder such as %d");
    picture = ReadFile(pattern->Format(first));
  }

  moviefile_ = file;
  pattern_ = pattern;
  firstframe_ = frame_ = first;
  lastframe_ = last;
  splitmovie_ = split;
  if (last != 0 && split && picture) {
    splitfile_ = file;
    splitcount_ = last;
    ShowSplit(*picture, last);
  } else {
    ShowPicture(picture.get());
  }
  movieon_ = true;
  StopTimers();
  DropUnreachablePictures();
}

void TOSDPicute::OnHideTimer() {
  visible = false;
  hidetimer_->SetEnabled(false);
}

void TOSDPicute::ShowMovieFrame() {
  // The movie's own ticks may reuse what it decoded before.
  if (splitmovie_)
    ShowPart(frame_ - 1, TPictureRead::ReuseUnchanged);  // frame numbers count parts from 1
  else
    LoadPicture(pattern_ ? pattern_->Format(frame_) : moviefile_, TPictureRead::ReuseUnchanged);
}

void TOSDPicute::OnMovieTimer() {
  if (frame_ >= lastframe_) {  // frame + 1 would exceed lastframe
    if (Loop) {
      frame_ = firstframe_;
    } else {
      if (frame_ < INT_MAX) ++frame_;
      visible = false;
      movietimer_->SetEnabled(false);
      movieon_ = false;
      return;
    }
  } else {
    ++frame_;
  }
  // A frame that cannot be shown leaves the previous one; the movie goes on. Nothing may
  // escape a timer event: the host's message loop would carry it.
  try {
    ShowMovieFrame();
  } catch (const std::exception &e) {
    last_movie_error_ = e.what();
  }
  try {
    DrawCaption();
  } catch (const std::exception &e) {
    last_movie_error_ = e.what();
  }
}

void TOSDPicute::DrawCaption() {
  if (!visible) return;
  // Start from the picture as loaded, so the caption is never added twice.
  Assign(picture_);
  if (text.empty() || Width() == 0) return;

  TCanvas &canvas = Canvas();
  TRect measured = Rect(0, 0, 0, 0);
  canvas.DrawText(text, measured, DT_CALCRECT | DT_VCENTER);
  const int tw = measured.Width() + 2;
  const int th = measured.Height();
  canvas.Brush.Color = kKeyColor;
  canvas.Brush.Style = TBrushStyle::bsSolid;

  const int w = Width(), h = Height();
  auto grow = [&](int w2, int h2) {
    SetSize(w2, h2);
    canvas.FillRect(Rect(w, 0, w2, h2));
    canvas.FillRect(Rect(0, h, w, h2));
  };
  int x = 0, y = 0;
  switch (textmode) {
    case 1:
    case 2: {
      const int h2 = std::max(h, th);
      grow(w + tw, h2);
      x = textmode == 1 ? 0 : w;
      if (textmode == 2 && splitcount_ > 1 && splittextx_ != 0)
        x = splittextx_ + splittextstep_ * splitindex_;
      y = (h2 - th) / 2;
      break;
    }
    case 3:
    case 4: {
      const int w2 = std::max(w, tw);
      grow(w2, h + th);
      x = (w2 - tw) / 2;
      y = textmode == 3 ? 0 : h;
      break;
    }
    default:  // 0, and the undefined modes: centred over the picture
      x = (w - tw) / 2;
      y = (h - th) / 2;
      break;
  }

  canvas.Brush.Style = TBrushStyle::bsClear;
  canvas.SetBkMode(TRANSPARENT);
  if (Width() < tw) SetWidth(tw);
  if (Height() < th) SetHeight(th);
  TRect target = OffsetRect(measured, x, y);
  canvas.DrawText(text, target, DT_WORDBREAK | DT_VCENTER);
}

void TOSDPicute::DrawTo(TOSDGraphic &frame) { keyed_.Draw(*this, frame, x, y); }

}  // namespace vx
