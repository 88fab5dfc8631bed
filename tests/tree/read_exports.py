#!/usr/bin/python3
# Reads an exported skeleton graph (PLY) or branch mesh (OBJ) with Open3D and prints what it
# found, one item per line, for the C++ tests to compare with what they wrote:
#   read_exports.py graph FILE -> "vertices N", "edges M", "v x y z radius" per vertex, "e a b" per edge
#   read_exports.py mesh FILE  -> "triangles N", "inward K" (non-degenerate triangles whose winding
#                                 turns away from their vertex normals), "v x y z" per vertex
# Coordinates are printed as Python's repr. Open3D does not keep the radius: it is taken from
# the PLY's text by the vertex property names of its header. Exits with 77 without Open3D.
import itertools
import sys

import numpy as np

try:
    import open3d as o3d
except ImportError:
    sys.exit(77)  # the C++ tests skip


def radii(path):
    lines = open(path).read().split("\n")
    start, end = next(i for i, l in enumerate(lines) if l.startswith("element vertex")), lines.index("end_header")
    properties = itertools.takewhile(lambda l: not l.startswith("element"), lines[start + 1 : end])
    column = [l.split()[-1] for l in properties if l.startswith("property")].index("radius")
    return [float(l.split()[column]) for l in lines[end + 1 : end + 1 + int(lines[start].split()[2])]]


def graph(path):
    lines = o3d.io.read_line_set(path)
    points, edges = np.asarray(lines.points), np.asarray(lines.lines)
    print("vertices", len(points))
    print("edges", len(edges))
    for p, radius in zip(points, radii(path)):
        print("v", *(repr(float(x)) for x in p), repr(radius))
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
        print("v", *(repr(float(x)) for x in p))


{"graph": graph, "mesh": mesh}[sys.argv[1]](sys.argv[2])
