#include "platform/d3dx/d3dx8math.h"

#include <cmath>

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
    *out = D3DXMATRIX();
    out->_11 = out->_22 = out->_33 = out->_44 = 1.0f;
    return out;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2) {
    D3DXMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m1->m[i][0] * m2->m[0][j] + m1->m[i][1] * m2->m[1][j] +
                        m1->m[i][2] * m2->m[2][j] + m1->m[i][3] * m2->m[3][j];
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m) {
    // Cofactor expansion in double precision; 2x2 sub-determinants of the top and bottom rows.
    double a[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) a[i][j] = m->m[i][j];
    double s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    double s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    double s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    double s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    double s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    double s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    double c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
    double c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    double c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    double c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    double c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    double c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];
    double det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (determinant) *determinant = static_cast<float>(det);
    if (det == 0.0 || !std::isfinite(det)) return nullptr;
    double inv = 1.0 / det;
    double r[4][4] = {
        {(a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3), (-a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3),
         (a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3), (-a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3)},
        {(-a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1), (a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1),
         (-a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1), (a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1)},
        {(a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0), (-a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0),
         (a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0), (-a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0)},
        {(-a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0), (a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0),
         (-a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0), (a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0)},
    };
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out->m[i][j] = static_cast<float>(r[i][j] * inv);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    D3DXMatrixIdentity(out);
    out->_22 = c;
    out->_23 = s;
    out->_32 = -s;
    out->_33 = c;
    return out;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    D3DXMatrixIdentity(out);
    out->_11 = c;
    out->_13 = -s;
    out->_31 = s;
    out->_33 = c;
    return out;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    D3DXMatrixIdentity(out);
    out->_11 = c;
    out->_12 = s;
    out->_21 = -s;
    out->_22 = c;
    return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
    D3DXMatrixIdentity(out);
    out->_41 = x;
    out->_42 = y;
    out->_43 = z;
    return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float x, float y, float z) {
    *out = D3DXMATRIX();
    out->_11 = x;
    out->_22 = y;
    out->_33 = z;
    out->_44 = 1.0f;
    return out;
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
    D3DXVECTOR3 z(at->x - eye->x, at->y - eye->y, at->z - eye->z);
    D3DXVec3Normalize(&z, &z);
    D3DXVECTOR3 x;
    D3DXVec3Cross(&x, up, &z);
    D3DXVec3Normalize(&x, &x);
    D3DXVECTOR3 y;
    D3DXVec3Cross(&y, &z, &x);
    D3DXMATRIX r;
    r._11 = x.x; r._12 = y.x; r._13 = z.x; r._14 = 0;
    r._21 = x.y; r._22 = y.y; r._23 = z.y; r._24 = 0;
    r._31 = x.z; r._32 = y.z; r._33 = z.z; r._34 = 0;
    r._41 = -D3DXVec3Dot(&x, eye);
    r._42 = -D3DXVec3Dot(&y, eye);
    r._43 = -D3DXVec3Dot(&z, eye);
    r._44 = 1;
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn,
                                       float zf) {
    float yScale = 1.0f / std::tan(fovy / 2.0f);
    float xScale = yScale / aspect;
    *out = D3DXMATRIX();
    out->_11 = xScale;
    out->_22 = yScale;
    out->_33 = zf / (zf - zn);
    out->_34 = 1.0f;
    out->_43 = -zn * zf / (zf - zn);
    return out;
}

float D3DXVec3Length(const D3DXVECTOR3* v) { return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z); }

float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
    D3DXVECTOR3 r(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
    *out = r;
    return out;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) {
    float length = D3DXVec3Length(v);
    if (length == 0.0f || !std::isfinite(length)) {
        *out = D3DXVECTOR3();
        return out;
    }
    *out = D3DXVECTOR3(v->x / length, v->y / length, v->z / length);
    return out;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    D3DXVECTOR4 r;
    r.x = v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + m->_41;
    r.y = v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + m->_42;
    r.z = v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + m->_43;
    r.w = v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + m->_44;
    *out = r;
    return out;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    D3DXVECTOR4 r;
    D3DXVec3Transform(&r, v, m);
    if (r.w != 0.0f) {
        r.x /= r.w;
        r.y /= r.w;
        r.z /= r.w;
    }
    *out = D3DXVECTOR3(r.x, r.y, r.z);
    return out;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    D3DXVECTOR3 r(v->x * m->_11 + v->y * m->_21 + v->z * m->_31,
                  v->x * m->_12 + v->y * m->_22 + v->z * m->_32,
                  v->x * m->_13 + v->y * m->_23 + v->z * m->_33);
    *out = r;
    return out;
}
