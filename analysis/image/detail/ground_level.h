// The level of the ground between the roots, cell by cell over a picture,
// and the area whose background or ground is that of most of it.
#pragma once

#include <opencv2/core.hpp>

// The ground's level around each cell of a grid of coarse.width x
// coarse.height cells over grey (CV_8U; the cell of pixel (x, y) is column
// x * coarse.width / grey.cols, row y * coarse.height / grey.rows): the
// level below which the given share of the pixels of the cells at most
// reach cells away lie. Roots cover a minority of such a neighbourhood even
// where they crowd with their hairs, so a low share gives the ground under
// bright roots and a high one the ground under dark roots, where the mean
// would rise with the roots in it. The pixels of leftOut (CV_8U, set where
// non-zero; may be empty) are not counted, unless they cover more than
// three quarters of the neighbourhood: then all of its pixels are. Returns
// a CV_8U plane of size coarse (every pixel of grey is read), or an empty
// one when coarse is empty or larger than grey, reach negative, or a plane
// of another type or size.
cv::Mat GroundLevels(const cv::Mat& grey, const cv::Mat& leftOut, const cv::Size& coarse, int reach,
                     double share);

// The area of region (CV_8U) where the background (CV_8U, at full size: a
// mean at the scale of coarse) is that of most of it, with margin pixels of
// the edges of what is left out (CommonBackground); for bright roots, also
// where the ground between the roots is. Where bright roots crowd with
// their hairs, they raise the background above that of the rest, but not
// the level under which a quarter of the pixels around a cell lie; that
// level falls near a darker strip, whose pixels it takes for ground, where
// the mean does not: a ruler, a strip or the bench is unlike the rest by
// both, and on a dark ground whatever carries bright lines that are no
// roots (a label, a ruler) is light itself. Dark roots lie on a light
// ground, where a white label is as light as the rest and its black print
// lowers the mean as crowded roots would: there the mean alone decides.
// leftOut: as for GroundLevels.
cv::Mat CommonArea(const cv::Mat& grey, const cv::Mat& leftOut, const cv::Mat& background,
                   const cv::Mat& region, const cv::Size& coarse, bool darkRoots, int margin);
