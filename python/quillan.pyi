"""Web pages into text, in this process: Quillan's converter as a module."""

import os
from typing import BinaryIO, Iterator, Literal, Optional, Union

Kind = Literal["article", "readable", "stripped"]
Bias = Literal["balanced", "precision", "recall"]
Page = Union[bytes, bytearray, memoryview, str]

class Error(Exception):
    """What went wrong converting a page or reading an archive."""

class TooLarge(Error):
    """A page over max_size (default 256 MiB), or too large to convert."""

class ArchiveError(Error):
    """A web archive with damaged records, raised once its sound records were all given."""

def to_text(
    html: Page,
    *,
    kind: Kind = "article",
    markdown: bool = False,
    url: Optional[str] = None,
    links: bool = False,
    width: int = 0,
    charset: Optional[str] = None,
    max_size: Optional[int] = None,
    comments: bool = False,
    bias: Bias = "balanced",
) -> str:
    """The text of a page, as quillan-convert writes it.

    comments (kind "article"): keep the readers' comments, as --comments.
    bias (kind "article"): "precision" for a shorter, cleaner text,
    "recall" for a fuller one, as --precision and --recall.
    """

def extract(
    html: Page,
    *,
    url: Optional[str] = None,
    kind: Kind = "article",
    markdown: bool = False,
    links: bool = False,
    width: int = 0,
    charset: Optional[str] = None,
    max_size: Optional[int] = None,
    comments: bool = False,
    bias: Bias = "balanced",
) -> dict[str, Optional[str]]:
    """The page's metadata and text, as `quillan-convert --format json` writes them (without "source")."""

class WarcPages(Iterator[dict]):
    """The converted pages of one web archive, one at a time."""

    def __iter__(self) -> "WarcPages": ...
    def __next__(self) -> dict: ...
    @property
    def counts(self) -> dict[str, int]:
        """The records read so far, by what became of them."""
    @property
    def reports(self) -> list[str]:
        """One line for each damaged record and each body that could not be decoded."""

def read_warc(
    path_or_file: Union[str, bytes, os.PathLike, BinaryIO],
    *,
    kind: Kind = "article",
    markdown: bool = False,
    metadata: bool = False,
    max_size: Optional[int] = None,
    comments: bool = False,
    bias: Bias = "balanced",
) -> WarcPages:
    """The HTML pages of a web archive, converted one record at a time, as `--warc --format jsonl` lines."""
