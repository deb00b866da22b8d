#include "draw_fixture.h"

namespace ms::test {

std::vector<Vertex> BoxVertices(float x0, float y0, float z0, float x1, float y1, float z1) {
    // Each face: its outward normal and four corners; the corners are ordered so that the face's
    // two triangles are clockwise seen from outside (in left-handed coordinates the cross product
    // of the first two edges then points along the normal).
    const float xs[2] = {x0, x1}, ys[2] = {y0, y1}, zs[2] = {z0, z1};
    std::vector<Vertex> out;
    for (int axis = 0; axis < 3; ++axis) {
        for (int side = 0; side < 2; ++side) {
            float n[3] = {0, 0, 0};
            n[axis] = side ? 1.0f : -1.0f;
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            float corners[4][3];
            const int order[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
            for (int k = 0; k < 4; ++k) {
                const float* axes[3] = {xs, ys, zs};
                corners[k][axis] = axes[axis][side];
                corners[k][u] = axes[u][order[k][0]];
                corners[k][v] = axes[v][order[k][1]];
            }
            float e1[3], e2[3];
            for (int i = 0; i < 3; ++i) e1[i] = corners[1][i] - corners[0][i], e2[i] = corners[2][i] - corners[0][i];
            const float c[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
            const bool clockwise = c[0] * n[0] + c[1] * n[1] + c[2] * n[2] > 0;
            for (int k = 0; k < 4; ++k) {
                const float* p = corners[clockwise ? k : (4 - k) % 4];
                out.push_back({p[0], p[1], p[2], n[0], n[1], n[2]});
            }
        }
    }
    return out;
}

std::vector<std::uint16_t> BoxIndices() {
    std::vector<std::uint16_t> indices;
    for (std::uint16_t f = 0; f < 6; ++f)
        for (std::uint16_t k : {0, 1, 2, 0, 2, 3}) indices.push_back(static_cast<std::uint16_t>(4 * f + k));
    return indices;
}

}  // namespace ms::test
