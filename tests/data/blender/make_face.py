# Writes face.glb and face.fbx the way an artist's Blender does, for the import tests:
# an icosphere "Face" with the shape keys "smile" and "blink", two actions on them,
# "blink" (frames 0-6) and "talk" (frames 0-90), at 30 frames a second.
# scripts/make_blender_samples.sh runs it:
#   blender -b --factory-startup -noaudio --python make_face.py -- OUTDIR
import os
import sys

import bpy

out = sys.argv[sys.argv.index("--") + 1]
bpy.ops.wm.read_factory_settings(use_empty=True)
scene = bpy.context.scene
scene.render.fps = 30
bpy.ops.mesh.primitive_ico_sphere_add(subdivisions=3, radius=0.1)
face = bpy.context.active_object
face.name = "Face"
face.data.name = "Face"
bpy.ops.object.shade_smooth()

basis = face.shape_key_add(name="Basis")
smile = face.shape_key_add(name="smile", from_mix=False)
blink = face.shape_key_add(name="blink", from_mix=False)
for i, vertex in enumerate(basis.data):
    x, y, z = vertex.co
    if z < 0:
        smile.data[i].co = (x * 1.2, y, z + 0.1 * abs(x))
    if z > 0.05:
        blink.data[i].co = (x, y, z - 0.02)

keys = face.data.shape_keys
keys.animation_data_create()


def action(name, curves):
    made = bpy.data.actions.new(name)
    for key, points in curves.items():
        curve = made.fcurves.new('key_blocks["%s"].value' % key)
        for frame, weight in points:
            curve.keyframe_points.insert(frame, weight)
    made.use_fake_user = True
    return made


blink_action = action("blink", {"blink": [(0, 0.0), (3, 1.0), (6, 0.0)]})
talk_action = action("talk", {"smile": [(0, 0.0), (45, 1.0), (90, 0.25)],
                              "blink": [(0, 0.0), (90, 0.5)]})
# One NLA track per action: the glTF exporter writes each as an animation of its own.
for made in (blink_action, talk_action):
    track = keys.animation_data.nla_tracks.new()
    track.name = made.name
    track.strips.new(made.name, 0, made)
bpy.ops.export_scene.gltf(filepath=os.path.join(out, "face.glb"), export_format='GLB')

# The FBX exporter bakes shape keys only into its one scene-wide stack: "talk", active,
# over the scene's frames, every frame kept.
keys.animation_data.action = talk_action
for track in keys.animation_data.nla_tracks:
    track.mute = True
scene.frame_start, scene.frame_end = 0, 90
bpy.ops.export_scene.fbx(filepath=os.path.join(out, "face.fbx"), bake_anim=True,
                         bake_anim_use_nla_strips=False, bake_anim_use_all_actions=False,
                         bake_anim_simplify_factor=0.0)
