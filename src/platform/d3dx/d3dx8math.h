#pragma once
// The D3DX matrix and vector routines, single precision, in the Direct3D conventions: row
// vectors multiplied on the left, translation in the fourth row, left-handed coordinates. Like
// D3DX, every routine writes *out and returns it (the output may alias an input), except where
// noted.
#include "platform/d3d8/d3d8types.h"

struct D3DXVECTOR3 : D3DVECTOR {
    D3DXVECTOR3() : D3DVECTOR{0, 0, 0} {}
    D3DXVECTOR3(float x_, float y_, float z_) : D3DVECTOR{x_, y_, z_} {}
};

struct D3DXVECTOR4 {
    float x, y, z, w;
};

struct D3DXMATRIX : D3DMATRIX {
    D3DXMATRIX() : D3DMATRIX{} {}
    D3DXMATRIX(const D3DMATRIX& src) : D3DMATRIX(src) {}  // NOLINT: implicit like D3DX's
    float& operator()(int row, int col) { return m[row][col]; }
    float operator()(int row, int col) const { return m[row][col]; }
};

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
// out = m1 * m2: m1 is applied first.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2);
// Writes the determinant to *determinant when it is not null. Returns null and leaves *out as it
// was when m is singular (determinant 0 or not finite).
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float x, float y, float z);
// View matrix of an eye at `eye` looking at `at` with `up` as the upward hint.
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up);
// Projection with vertical field of view `fovy` (radians); depth 0 at zn and 1 at zf after /w.
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn,
                                       float zf);
// A zero-length vector normalises to the zero vector.
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
float D3DXVec3Length(const D3DXVECTOR3* v);
float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
// (v, 1) * m, divided by the resulting w (left undivided when w is 0).
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (v, 0) * m: a direction, without the translation.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (v, 1) * m with its w.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
