#!/usr/bin/python3
"""Reads an exported skeleton graph (PLY) or branch mesh (OBJ) with Open3D and prints what
it found, one item per line, for the C++ tests to compare with what they wrote.

  read_exports.py graph FILE  -> "vertices N", "edges M", then "v x y z radius" per vertex
                                 and "e a b" per edge (coordinates as Python's repr)
  read_exports.py mesh FILE   -> "triangles N", "inward K" (non-degenerate triangles whose
                                 winding turns away from their vertex normals), then
                                 "v x y z" per vertex
Exits with 77 when Open3D is not installed. The radius is not something Open3D keeps, so it is taken from the PLY's text by the
property names of its header.
"""
import sys

import numpy as np

try:
    import open3d as o3d
except ImportError:
    sys.exit(77)  # the C++ tests skip


def radii(path):
    with open(path) as f:
        names, count = [], 0
        for line in f:
            words = line.split()
            if words[:2] == ["element", "vertex"]:
                count, in_vertex = int(words[2]), True
            elif words[:1] == ["element"]:
                in_vertex = False
            elif words[:1] == ["property"] and in_vertex:
                names.append(words[-1])
            elif words == ["end_header"]:
                break
        column = names.index("radius")
        return [float(next(f).split()[column]) for _ in range(count)]


def graph(path):
    lines = o3d.io.read_line_set(path)
    points, edges, r = np.asarray(lines.points), np.asarray(lines.lines), radii(path)
    print("vertices", len(points))
    print("edges", len(edges))
    for p, radius in zip(points, r):
        print("v", repr(float(p[0])), repr(float(p[1])), repr(float(p[2])), repr(radius))
    for a, b in edges:
        print("e", a, b)


def mesh(path):
    m = o3d.io.read_triangle_mesh(path)
    v, t, n = np.asarray(m.vertices), np.asarray(m.triangles), np.asarray(m.vertex_normals)
    print("triangles", len(t))
    inward = 0
    if len(t) and len(n) == len(v):
        face = np.cross(v[t[:, 1]] - v[t[:, 0]], v[t[:, 2]] - v[t[:, 0]])
        size = np.linalg.norm(face, axis=1)
        facing = np.einsum("ij,ij->i", face, n[t[:, 0]] + n[t[:, 1]] + n[t[:, 2]])
        inward = int(np.sum((facing < 0) & (size > 1e-9 * size.max())))
    print("inward", inward)
    for p in v:
        print("v", repr(float(p[0])), repr(float(p[1])), repr(float(p[2])))


{"graph": graph, "mesh": mesh}[sys.argv[1]](sys.argv[2])
