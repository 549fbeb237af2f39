// The 3-D box the search trees take and keep with every object: minimum x, y, z, then
// maximum x, y, z. Passed by value; the plan (quadtree) search reads only x and y.
#pragma once

struct extrema_s {
    double min_x;
    double min_y;
    double min_z;
    double max_x;
    double max_y;
    double max_z;
};
