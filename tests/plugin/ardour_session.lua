-- SPDX-License-Identifier: GPL-3.0-or-later
-- Run by ardour7-lua (headless, the Dummy backend) on a session made by
-- ardour7-new_session; prints "done" last when every step went through:
--   record DIR NAME CHANNELS PLUGIN LEVEL
--     records a second of the backend's test signal on a track of
--     CHANNELS channels, moves the region one second later (the transport's
--     start lies in silence), turns the region's fades and the panners off,
--     inserts the VST3 plugin named PLUGIN first on the track, sets its
--     level to LEVEL dB and saves; prints "region POSITION START LENGTH" and
--     "latency FRAMES" of the plugin.
--   list DIR NAME
--     makes a session there and prints "vst3 NAME" for each VST3 plugin
--     Ardour knows (its plugin list needs a session).
--   show DIR NAME
--     loads the session, prints "level VALUE" of the plugin's level and
--     saves the session again.
local mode, dir, name = arg[1], arg[2], arg[3]
-- Each line at once, before a crash on the way out could lose it.
local function say(text)
  io.stdout:write(text, "\n")
  io.stdout:flush()
end
local backend = AudioEngine:set_backend("None (Dummy)", "", "")
assert(backend and not backend:isnil(), "no Dummy backend")

local function only_track(session)
  local track
  for route in session:get_tracks():iter() do track = route:to_track() end
  assert(track and not track:isnil(), "no track")
  return track
end

if mode == "list" then
  assert(create_session(dir, name, 44100), "cannot make a session")
  for info in ARDOUR.LuaAPI.list_plugins():iter() do
    if info.type == ARDOUR.PluginType.VST3 then say("vst3 " .. info.name) end
  end
elseif mode == "record" then
  local channels, plugin_name, level = tonumber(arg[4]), arg[5], tonumber(arg[6])
  backend:set_device_name("Sine Sweep Swell")
  local session = load_session(dir, name)
  assert(session, "cannot load the session")
  local rate = session:nominal_sample_rate()
  local track = session:new_audio_track(channels, channels, nil, 1, "Tape",
    ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front()
  track:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
  session:maybe_enable_record(false)
  session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
  sleep(1)
  session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
  sleep(1)
  session:disable_record(false, false)
  track:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)

  local region
  for r in track:playlist():region_list():iter() do region = r end
  assert(region, "nothing recorded")
  region:set_position(Temporal.timepos_t(rate))
  local audio = region:to_audioregion()
  audio:set_fade_in_active(false)
  audio:set_fade_out_active(false)
  session:cfg():set_use_region_fades(false)
  local range = session:locations():session_range_location()
  range:set(Temporal.timepos_t(0), Temporal.timepos_t(rate + region:length():samples()))
  say("region " .. region:position():samples() .. " " .. region:start():samples() .. " " ..
        region:length():samples())

  track:panner_shell():set_bypassed(true)
  session:master_out():panner_shell():set_bypassed(true)
  local plugin = ARDOUR.LuaAPI.new_plugin(session, plugin_name, ARDOUR.PluginType.VST3, "")
  assert(not plugin:isnil(), "no VST3 plugin " .. plugin_name)
  assert(track:add_processor_by_index(plugin, 0, nil, true) == 0, "cannot insert the plugin")
  assert(ARDOUR.LuaAPI.set_processor_param(plugin, 0, level), "cannot set the level")
  say("latency " .. plugin:signal_latency())
  session:save_state("", false, false, false, false, false)
elseif mode == "show" then
  local session = load_session(dir, name)
  assert(session, "cannot load the session")
  local plugin = only_track(session):nth_plugin(0)
  assert(not plugin:isnil(), "the plugin is gone")
  say("plugin " .. plugin:display_name())
  say("level " .. ARDOUR.LuaAPI.get_processor_param(plugin, 0))
  session:save_state("", false, false, false, false, false)
else
  error("usage: list|record|show ...")
end
close_session()
-- The last line: everything above went through. (ardour7-lua 7.3 may crash
-- on its way out once it has listed plugins, whatever they are.)
say("done")
