-- Wireshark dissector for the Trelm control protocol: the user data of
-- NetBIOS direct group datagrams sent to a channel's "DEVICE_CONTROL..."
-- name (commands) or "ORM..." name (revertives). It reads a datagram the
-- way Varnet does, from a 512-byte buffer with zeros after the bytes
-- received, so that it gives the devices and anomalies Varnet and pktdump
-- give. It registers in the "netbios" heuristic table, to which the
-- datagram service hands its user data, and hands our wrapper's UDP port
-- (the preferences' base port plus LANA) to the datagram service. Use:
--   tshark -X lua_script:trelm.lua -r capture.pcapng
--   tshark -X lua_script:trelm.lua -i lo          (our wrapper's traffic, port 13800)
-- or copy it into Wireshark's personal plugins folder.
-- trelm.device follows the decoders' one device rule: a line belongs to
-- the device, 1 to 999, whose device filter decides whether Varnet writes
-- it; a packet serial (NN), RD, the N series, a time set, a heartbeat, the
-- universal revertive's device 0 and its texts other than "RM" belong to
-- none.

local trelm = Proto("trelm", "Trelm control protocol")

local f = {
  kind = ProtoField.string("trelm.kind", "Kind"),
  command = ProtoField.string("trelm.command", "Command"),
  number = ProtoField.uint16("trelm.number", "Command number"),
  code = ProtoField.string("trelm.code", "Code"),
  device = ProtoField.int32("trelm.device", "Device"),
  serial = ProtoField.string("trelm.serial", "Packet serial"),
  serial_number = ProtoField.uint32("trelm.serial_number", "Packet serial number", base.HEX),
  first = ProtoField.int32("trelm.first", "First index"),
  last = ProtoField.int32("trelm.last", "Last index"),
  slot_size = ProtoField.int32("trelm.slot_size", "Slot size"),
  iws = ProtoField.int32("trelm.iws", "iWS"),
  index = ProtoField.int32("trelm.index", "Index"),
  state = ProtoField.int32("trelm.state", "State"),
  value = ProtoField.int32("trelm.value", "Value"),
  text = ProtoField.string("trelm.text", "Text"),
  workstation = ProtoField.uint16("trelm.workstation", "Workstation"),
  count = ProtoField.int8("trelm.count", "Message count"),
  message = ProtoField.uint16("trelm.message", "Message"),
  msg_type = ProtoField.uint8("trelm.msg_type", "Message type", base.DEC,
    { [1] = "RR", [2] = "GR", [3] = "IR", [4] = "text" }, 0xF0),
  reference = ProtoField.uint16("trelm.reference", "Reference"),
  time = ProtoField.string("trelm.time", "Time set"),
  time_valid = ProtoField.bool("trelm.time_valid", "Sets the clock"),
  -- What Varnet's log shows as unusual: "errorlog" (an error log entry),
  -- "unrecognised" (a revertive of no known code), "illegal" (a universal
  -- revertive message of no known type).
  anomaly = ProtoField.string("trelm.anomaly", "Anomaly"),
}
trelm.fields = f

local malformed = ProtoExpert.new("trelm.malformed", "Malformed Trelm datagram",
  expert.group.MALFORMED, expert.severity.ERROR)
local unrecognised = ProtoExpert.new("trelm.unrecognised", "Unrecognised data in revertive packet",
  expert.group.UNDECODED, expert.severity.WARN)
trelm.experts = { malformed, unrecognised }

trelm.prefs.base_port = Pref.uint("Base UDP port", 13800,
  "The wrapper's base port: LANA n sends and receives on base port + n")
trelm.prefs.lanas = Pref.string("LANAs", "0", "The LANA numbers in use, separated by commas")
trelm.prefs.channel = Pref.uint("Channel", 0,
  "Only this channel's names (1..99); 0 takes every channel and the plain names")

local destination_name = Field.new("nbdgm.destination_name")

local BUFFER = 512

-- The datagram as Varnet decodes it: 512 bytes, zeros after those received.
local function padded(buf)
  local bytes = buf:bytes()
  if bytes:len() > BUFFER then
    bytes = bytes:subset(0, BUFFER)
  elseif bytes:len() < BUFFER then
    bytes:set_size(BUFFER)
  end
  return bytes:tvb("Datagram as decoded (512 bytes)")
end

-- The text from offset, up to the first zero byte (or the buffer's end).
local function c_string(tvb, offset, limit)
  limit = limit or BUFFER
  local raw = tvb:raw(offset, limit - offset)
  return raw:match("^[^%z]*")
end

-- As "%d" reads the start of s: blanks, a sign, digits; nil when none.
local function scan_int(s)
  local n = s:match("^[ \t\n\v\f\r]*([%+%-]?%d+)")
  if not n then return nil end
  n = tonumber(n)
  if n > 2147483647 then return 2147483647 end
  if n < -2147483648 then return -2147483648 end
  return n
end

-- Up to count tokens from character 3 on (a word, or a text in quotes), as
-- Varnet's token scanner takes them; their values as "%d" reads them.
local function tokens(s, count)
  local out, pos = {}, 4
  while #out < count and pos <= #s + 1 do
    while s:sub(pos, pos) == " " do pos = pos + 1 end
    local token
    if s:sub(pos, pos) == "'" then
      local close = s:find("'", pos + 1, true)
      token = s:sub(pos + 1, (close or #s + 1) - 1)
      pos = close and close + 1 or #s + 1
    else
      local stop = s:find(" ", pos, true) or #s + 1
      token = s:sub(pos, stop - 1)
      pos = stop
    end
    out[#out + 1] = token
    while pos <= #s and s:sub(pos, pos) ~= " " do pos = pos + 1 end
  end
  while #out < count do out[#out + 1] = "" end
  local values = {}
  for i, t in ipairs(out) do values[i] = scan_int(t) or 0 end
  return out, values
end

local function anomaly(tree, kind, text)
  tree:add(f.anomaly, kind):set_generated()
  if kind == "unrecognised" then
    tree:add_proto_expert_info(unrecognised, text)
  else
    tree:add_proto_expert_info(malformed, text)
  end
end

-- Commands: split at the colons outside quotes; a command without a
-- readable device number keeps the one before it in the datagram.
local function dissect_command(tvb, tree, info)
  local s = c_string(tvb, 0)
  tree:add(f.kind, "command"):set_generated()
  if #s < 4 then return end
  local pieces, start, quoted = {}, 1, false
  for i = 1, #s do
    local c = s:sub(i, i)
    if c == "'" then quoted = not quoted
    elseif c == ":" and not quoted then
      pieces[#pieces + 1] = { start, i - 1 }
      start = i + 1
    end
  end
  pieces[#pieces + 1] = { start, #s }
  local device, devices = 0, {}
  for n, p in ipairs(pieces) do
    local length = p[2] - p[1] + 1
    if length > 0 then
      local text = s:sub(p[1], p[2])
      local sub = tree:add(f.command, tvb(p[1] - 1, length), text)
      sub:add(f.number, n):set_generated()
      sub:add(f.code, tvb(p[1] - 1, math.min(2, length)), text:sub(1, 2))
      if length > 3 then
        local number = scan_int(text:sub(4))
        if number then device = number end
      end
      if text:sub(1, 2) == "NN" then
        local t = tokens(text, 2)
        sub:add(f.serial, t[2]):set_generated()
      elseif device >= 1 and device <= 999 then
        sub:add(f.device, device):set_generated()
        devices[#devices + 1] = device
      end
    end
  end
  if #devices > 0 then info[#info + 1] = "device " .. table.concat(devices, ",") end
end

-- GR, IR and RR: a text head, then the items from byte 16 or 24.
local function dissect_text_headed(tvb, tree, code, info)
  local head_size = code == "GR" and 16 or 24
  local head
  if code == "GR" then head = c_string(tvb, 0, 16)
  elseif code == "IR" then head = c_string(tvb, 0, 23)
  else head = c_string(tvb, 0) end
  local _, v = tokens(head, code == "GR" and 3 or 4)
  local device, first, last = v[1], v[2], v[3]
  local head_range = tvb(0, math.max(#head, 2))
  -- trelm.device holds only the devices lines belong to (1..999).
  if device >= 1 and device <= 999 then
    tree:add(f.device, head_range, device)
  else
    tree:add(head_range, "Device: " .. device .. " (outside 1..999)")
  end
  tree:add(f.first, head_range, first)
  tree:add(f.last, head_range, last)
  if code == "IR" then tree:add(f.slot_size, head_range, v[4]) end
  if code == "RR" then tree:add(f.iws, head_range, v[4]) end
  if device < 1 or device > 999 then
    anomaly(tree, "errorlog", "device outside 1..999: an error log entry")
    return
  end
  local count = last - first + 1
  info[#info + 1] = string.format("device %d index %d-%d", device, first, last)
  local width = code == "GR" and 1 or code == "RR" and 2 or v[4]
  if count <= 0 or width < 1 or width > 255 or head_size + width * count > BUFFER then
    return  -- no items: Varnet writes the head alone
  end
  for k = 0, count - 1 do
    local at = head_size + width * k
    local item = tree:add(tvb(at, width), string.format("%s %d %d", code, device, first + k))
    item:add(f.index, first + k):set_generated()
    if code == "GR" then
      local b = tvb(at, 1):uint()
      if b > 127 then b = b - 256 end
      item:add(f.state, tvb(at, 1), b - 48)
    elseif code == "RR" then
      item:add(f.value, tvb(at, 2), tvb(at, 2):le_int())
    else
      item:add(f.text, tvb(at, width), c_string(tvb, at, at + width))
    end
  end
end

-- "TS dd mm yyyy hh mm ss hhh": each field read as "%02d" (or "%04d",
-- "%03d") reads it; only a real date and time set the clock. The last
-- field is hundredths: the clock gets hundredths x 10 milliseconds, shown
-- in three digits ("050" sets .500), as pktdump's report shows it.
local function dissect_time(tvb, tree, s)
  tree:add(f.text, tvb(0, math.max(#s, 2)), s)
  local pos, values = 4, {}
  for _, width in ipairs({ 2, 2, 4, 2, 2, 2, 3 }) do
    local blanks = s:match("^[ \t\n\v\f\r]*", pos)
    pos = pos + #blanks
    local digits = s:sub(pos, pos + width - 1):match("^[%+%-]?%d+")
    if not digits or digits == "+" or digits == "-" then break end
    values[#values + 1] = tonumber(digits)
    pos = pos + #digits
  end
  if #values < 7 then return end
  local d, mo, y, h, mi, se, hu = table.unpack(values)
  local days = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 }
  local leap = (y % 4 == 0 and y % 100 ~= 0) or y % 400 == 0
  local valid = y >= 1601 and y <= 9999 and mo >= 1 and mo <= 12 and d >= 1 and
                d <= ((mo == 2 and leap) and 29 or days[mo] or 0) and h >= 0 and h <= 23 and
                mi >= 0 and mi <= 59 and se >= 0 and se <= 59 and hu >= 0 and hu <= 99
  tree:add(f.time, tvb(3, math.max(#s - 3, 1)),
    string.format("%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, se, hu * 10))
  tree:add(f.time_valid, valid):set_generated()
end

local function dissect_universal(tvb, tree, info)
  tree:add(f.workstation, tvb(3, 2))
  tree:add(f.count, tvb(5, 1))
  local count = tvb(5, 1):int()
  local a, devices = 6, {}
  for i = 1, count do
    if a + 4 > BUFFER then break end  -- no room for another message
    local type = bit.rshift(tvb(a, 1):uint(), 4)
    local device = bit.band(tvb(a, 1):uint(), 0x0F) * 256 + tvb(a + 1, 1):uint()
    local reference = tvb(a + 2, 2):uint()
    if device == 0xFFF and reference == 0xFFFF then
      if a + 8 > BUFFER then
        anomaly(tree, "errorlog", "message exceeds packet boundary")
        break
      end
      local m = tree:add(f.message, tvb(a, 8), i)
      m:append_text(" (packet serial)")
      m:add(f.serial_number, tvb(a + 4, 4), bit.band(tvb(a + 4, 4):uint(), 0x7FFFFFFF))
      a = a + 8
    else
      local size = 0
      if type == 1 then size = 8
      elseif type == 2 then size = 7
      elseif type == 3 and a + 7 <= BUFFER then size = 7 + tvb(a + 6, 1):uint()
      elseif type == 4 and a + 5 <= BUFFER then size = 7 + tvb(a + 4, 1):uint()
      end
      if type < 1 or type > 4 then
        -- Nothing after a message of no known type can be found.
        if device <= 999 then
          local m = tree:add(f.message, tvb(a, math.min(8, BUFFER - a)), i)
          m:add(f.msg_type, tvb(a, 1))
          anomaly(m, "illegal", "illegal message type " .. type)
        end
        break
      end
      if size == 0 or a + size > BUFFER then
        anomaly(tree, "errorlog", "message exceeds packet boundary")
        break
      end
      local m = tree:add(f.message, tvb(a, size), i)
      m:add(f.msg_type, tvb(a, 1))
      m:add(f.reference, tvb(a + 2, 2))
      if device > 999 then
        m:append_text(" (device above 999: skipped)")
      elseif type == 4 then
        local n = tvb(a + 4, 1):uint()
        local text = n > 0 and c_string(tvb, a + 7, a + 7 + n) or ""
        if n > 0 then m:add(f.text, tvb(a + 7, n), text) end
        -- An "RM" text names its device at its character 3.
        if text:sub(1, 2) == "RM" then
          local named = (#text > 3 and scan_int(text:sub(4))) or 0
          if named >= 1 and named <= 999 then
            m:add(f.device, named):set_generated()
            devices[#devices + 1] = named
          end
        end
      else
        -- Device 0 passes every filter: its lines belong to no device.
        if device >= 1 then
          devices[#devices + 1] = device
          m:add(f.device, tvb(a, 2), device)
        else
          m:add(tvb(a, 2), "Device: 0 (no device's line)")
        end
        m:add(f.index, tvb(a + 4, 2), tvb(a + 4, 2):int())
        if type == 1 then
          m:add(f.value, tvb(a + 6, 2), tvb(a + 6, 2):int())
        elseif type == 2 then
          m:add(f.state, tvb(a + 6, 1), tvb(a + 6, 1):uint())
        else
          local n = tvb(a + 6, 1):uint()
          if n > 0 then m:add(f.text, tvb(a + 7, n), c_string(tvb, a + 7, a + 7 + n)) end
        end
      end
      a = a + size
    end
  end
  if #devices > 0 then info[#info + 1] = "device " .. table.concat(devices, ",") end
end

-- The revertives Varnet knows, by first and second letter.
local N_SERIES = "ABCDEILORS"

local function dissect_revertive(tvb, tree, info)
  tree:add(f.kind, "revertive"):set_generated()
  local first, second = tvb:raw(0, 1), tvb:raw(1, 1)
  local code = (first .. second):match("^[^%z]*")
  tree:add(f.code, tvb(0, 2), code)
  local s = c_string(tvb, 0)
  if first == "G" or first == "H" or first == "I" or first == "R" or first == "T" or
     first == "U" then
    if code == "GR" or code == "IR" or code == "RR" then
      dissect_text_headed(tvb, tree, code, info)
    elseif code == "HB" then
      tree:add_le(f.workstation, tvb(5, 2))
    elseif code == "TS" then
      dissect_time(tvb, tree, s)
    elseif code == "UR" then
      dissect_universal(tvb, tree, info)
    elseif code == "RD" then
      tree:add(f.text, tvb(0, math.max(#s, 2)), s)
    end
    -- Any other second letter: Varnet writes nothing.
  elseif first == "N" then
    if second ~= "\0" and N_SERIES:find(second, 1, true) then
      tree:add(f.text, tvb(0, math.max(#s, 2)), s)
    end
  else
    tree:add(f.text, tvb(0, math.max(#s, 1)), s)
    anomaly(tree, "unrecognised", "Unrecognised data in revertive packet")
  end
end

-- The channel of a "DEVICE_CONTROLn"/"ORMn" name (0 for the plain one), or
-- nil for any other name. The service shows names as "NAME<20>".
local function channel_of(name, base)
  local rest = name:match("^" .. base .. "(%d*)%s*<%x%x>$") or name:match("^" .. base .. "(%d*)%s*$")
  if rest == nil then return nil end
  if rest == "" then return 0 end
  local n = tonumber(rest)
  if n < 1 or n > 99 or rest:sub(1, 1) == "0" then return nil end
  return n
end

local function heuristic(buf, pinfo, tree)
  local dest = destination_name()
  if dest == nil then return false end
  local name = tostring(dest.value)
  local channel = channel_of(name, "DEVICE_CONTROL")
  local command = channel ~= nil
  if not command then channel = channel_of(name, "ORM") end
  if channel == nil then return false end
  if trelm.prefs.channel ~= 0 and channel ~= trelm.prefs.channel then return false end
  if buf:len() > BUFFER then return false end
  pinfo.cols.protocol = "TRELM"
  local subtree = tree:add(trelm, buf(), "Trelm control protocol")
  local tvb = padded(buf)
  local info = {}
  if buf:len() == 0 then
    subtree:add_proto_expert_info(malformed, "empty datagram")
  end
  if command then
    dissect_command(tvb, subtree, info)
    pinfo.cols.info = "Command: " .. c_string(tvb, 0)
  else
    dissect_revertive(tvb, subtree, info)
    pinfo.cols.info = "Revertive " .. c_string(tvb, 0, 2)
  end
  if #info > 0 then pinfo.cols.info:append(" [" .. table.concat(info, "; ") .. "]") end
  return true
end

trelm:register_heuristic("netbios", heuristic)

-- Our wrapper's ports to the datagram service, as the preferences say.
local registered = {}
local function register_ports()
  local udp = DissectorTable.get("udp.port")
  -- The datagram service's own dissector, as registered for port 138.
  local nbdgm = udp:get_dissector(138)
  if nbdgm == nil then return end
  for _, port in ipairs(registered) do udp:remove(port, nbdgm) end
  registered = {}
  for lana in trelm.prefs.lanas:gmatch("%d+") do
    local port = trelm.prefs.base_port + tonumber(lana)
    if port <= 65535 then
      udp:add(port, nbdgm)
      registered[#registered + 1] = port
    end
  end
end
trelm.prefs_changed = register_ports
register_ports()
