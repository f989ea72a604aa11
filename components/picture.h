#pragma once
// TOSDPicute: a picture from a BMP file, one part of a split file (equal parts side by side),
// or a movie of numbered files or of the parts of a split file, with an optional one-line
// caption over, beside or below it. A shown picture hides after hideTime ms (0: never); a
// movie advances every movieTime ms while visible and then hides or loops. The cycle draws it
// with the keyed copy, its bottom-left colour left out.
//
// Files: what the host asks for (SetPicFile, SetPicSplitFile, SetPicSplitShow, SetPicMovie)
// reads the file as it is now; the movie's own ticks reuse a decoded picture while its file is
// unchanged (see TPictureCache).
//
// Failures: a missing file gives an empty component, no error; MissingFile() names it. A file that exists but is not
// a readable bitmap, a split file that can no longer be read, a split index outside the
// parts, a negative split count and a movie name that is not a pattern with exactly one
// integer placeholder raise vx::Exception with the reason and leave the component unchanged.
// During a movie tick such a failure keeps the previous frame and is kept in LastMovieError().

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "components/movie_pattern.h"
#include "components/object.h"
#include "components/picture_cache.h"
#include "imaging/transparent.h"
#include "platform/timer.h"

namespace vx {

class TOSDPicute : public TOSDObject {
 public:
  TOSDPicute();
  ~TOSDPicute() override;

  // Published state, as the system names it.
  int hideTime() const { return hideTime_; }
  int movieTime() const { return movieTime_; }
  void SethideTime(int ms);
  void SetmovieTime(int ms);
  bool Loop = false;
  int textmode = 0;

  void SetText(std::u16string_view value) { text.assign(value); }
  void SetVisible(bool value);

  // File names as the host passes them (UTF-16), converted to the system code page.
  void SetPicFile(std::u16string_view file);
  void SetPicSplitFile(std::u16string_view file, int count);
  void SetPicSplitShow(int index);
  void SetPicSplitTextPos(int x, int step);
  void SetPicMovie(std::u16string_view file, int first, int last);
  // The same with 8-bit names in the system code page.
  void SetPicFile(const std::string &file);
  void SetPicSplitFile(const std::string &file, int count);
  void SetPicMovie(const std::string &file, int first, int last);
  // Shows the picture at file, or an empty component when there is none.
  void LoadPicture(const std::string &file, TPictureRead read);

  void OnHideTimer();
  void OnMovieTimer();
  void DrawCaption();

  // The cycle's draw: the keyed copy at (x, y), mapped to the frame palette once per change.
  void DrawTo(TOSDGraphic &frame);

  // Read-only views of the movie and split state.
  const std::string &moviefile() const { return moviefile_; }
  int firstframe() const { return firstframe_; }
  int lastframe() const { return lastframe_; }
  int frame() const { return frame_; }
  bool movieon() const { return movieon_; }
  bool splitmovie() const { return splitmovie_; }
  const std::string &splitfile() const { return splitfile_; }
  int splitcount() const { return splitcount_; }
  int splitindex() const { return splitindex_; }
  int splittextx() const { return splittextx_; }
  int splittextstep() const { return splittextstep_; }
  TTimer &hidetimer() { return *hidetimer_; }
  TTimer &movietimer() { return *movietimer_; }
  const std::string &LastMovieError() const { return last_movie_error_; }
  // The file that the last SetPicFile, SetPicSplitFile or SetPicMovie looked for and did not
  // find (the component is empty then); empty when it read its picture.
  const std::string &MissingFile() const { return missing_file_; }
  const TPictureCache &Cache() const { return cache_; }
  const TKeyedCopyCache &KeyedCopy() const { return keyed_; }

 private:
  // What the host asks for: the file as it is now; a file that is not there is remembered.
  std::shared_ptr<TBitmap> ReadFile(const std::string &file);
  // The picture cache, reading pictures for the kind of frame this component draws into.
  TPictureCache &Pictures() {
    cache_.SetTrueColour(TrueColour());
    return cache_;
  }
  void ShowPicture(const TBitmap *picture);
  void ShowSplit(TBitmap &picture, int count);
  void CopyPart(TBitmap &picture, int index);
  void ShowPart(int index, TPictureRead read);
  // Only the running movie's ticks reuse cached pictures: everything else is dropped after
  // each host call, so the cache holds at most what the movie will show again.
  void DropUnreachablePictures();
  bool MovieMayShow(const std::string &path) const;
  void ShowMovieFrame();
  void KeepPicture();
  void StopTimers();

  int hideTime_ = 2000;
  int movieTime_ = 1000;
  std::unique_ptr<TTimer> hidetimer_;
  std::unique_ptr<TTimer> movietimer_;
  std::string moviefile_;
  std::optional<TMoviePattern> pattern_;
  int firstframe_ = 0;
  int lastframe_ = 0;
  int frame_ = 0;
  bool movieon_ = false;
  bool splitmovie_ = false;
  std::string splitfile_;
  int splitcount_ = 0;
  int splitindex_ = 0;
  int splittextx_ = 0;
  int splittextstep_ = 0;

  // The picture as loaded, without caption: each DrawCaption starts from it, so the caption
  // band is added once per loaded picture however often the component is shown.
  TBitmap picture_;
  TPictureCache cache_;
  TKeyedCopyCache keyed_;
  std::string last_movie_error_;
  std::string missing_file_;
};

}  // namespace vx
