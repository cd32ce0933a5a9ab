'''A stand-in for UDisks2 for Brindle's tests, loaded by python3-dbusmock:

  python3 -m dbusmock --session --template udisks2.py -p '{"drives": [...], "blocks": [...]}'

Parameters:
  drives: [{"id", "Vendor", "Model", "Size", "Removable", "MediaRemovable", "Optical", "Media",
            "MediaCompatibility"}], each at /org/freedesktop/UDisks2/drives/ID
  blocks: [{"name", "size", "drive" (a drive id), "label", "type", "ignore", "table" (the block
            name of a partition's disk), "number", "backing_file" (a loop device's),
            "open": {"file": PATH} or {"error": NAME, "message": TEXT}, "old": true (OpenDevice
            unknown, as before UDisks2 2.7.3: only OpenForBackup)}], each at /org/freedesktop/UDisks2/block_devices/NAME with /dev/NAME

OpenDevice answers only mode "r" with interaction allowed, as the real service asks polkit
first; the answer is a descriptor of "file" opened read-only, or the error named.
'''

import dbus

SYSTEM_BUS = True
BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
IS_OBJECT_MANAGER = True

BLOCK = 'org.freedesktop.UDisks2.Block'
DRIVE = 'org.freedesktop.UDisks2.Drive'
PARTITION = 'org.freedesktop.UDisks2.Partition'
LOOP = 'org.freedesktop.UDisks2.Loop'

DRIVES = MAIN_OBJ + '/drives/'
BLOCKS = MAIN_OBJ + '/block_devices/'

# The body of OpenDevice and OpenForBackup: self.answer says what to do.
OPEN_CODE = '''
import os
options = args[-1]
if len(args) == 2 and self.old:
    raise dbus.exceptions.DBusException('No such method "OpenDevice"',
                                        name='org.freedesktop.DBus.Error.UnknownMethod')
if len(args) == 2 and args[0] != 'r':
    raise dbus.exceptions.DBusException('mode %s is not read-only' % args[0],
                                        name='org.freedesktop.UDisks2.Error.Failed')
if options.get('auth.no_user_interaction', True):
    raise dbus.exceptions.DBusException('Not authorized to perform operation',
                                        name='org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain')
if 'error' in self.answer:
    raise dbus.exceptions.DBusException(self.answer['message'], name=self.answer['error'])
fd = os.open(self.answer['file'], os.O_RDONLY)
ret = dbus.types.UnixFd(fd)
os.close(fd)
'''


def object_name(name):
    '''A device name as UDisks2 puts it into an object path: dm-0 becomes dm_2d0.'''
    return ''.join(c if c.isalnum() else '_%02x' % ord(c) for c in name)


def byte_string(text):
    return dbus.ByteArray(text.encode() + b'\0')


def load(mock, parameters):
    from dbusmock.mockobject import objects

    for drive in parameters.get('drives', []):
        properties = {
            'Vendor': dbus.String(drive.get('Vendor', '')),
            'Model': dbus.String(drive.get('Model', '')),
            'Size': dbus.UInt64(drive.get('Size', 0)),
            'Removable': dbus.Boolean(drive.get('Removable', False)),
            'MediaRemovable': dbus.Boolean(drive.get('MediaRemovable', False)),
            'Optical': dbus.Boolean(drive.get('Optical', False)),
            'Media': dbus.String(drive.get('Media', '')),
            'MediaCompatibility': dbus.Array(drive.get('MediaCompatibility', []), signature='s'),
        }
        mock.AddObject(DRIVES + drive['id'], DRIVE, properties, [])

    for block in parameters.get('blocks', []):
        path = BLOCKS + object_name(block['name'])
        properties = {
            'Device': byte_string('/dev/' + block['name']),
            'PreferredDevice': byte_string('/dev/' + block['name']),
            'Size': dbus.UInt64(block.get('size', 0)),
            'Drive': dbus.ObjectPath(DRIVES + block['drive'] if 'drive' in block else '/'),
            'IdLabel': dbus.String(block.get('label', '')),
            'IdType': dbus.String(block.get('type', '')),
            'HintIgnore': dbus.Boolean(block.get('ignore', False)),
        }
        methods = [('OpenForBackup', 'a{sv}', 'h', OPEN_CODE), ('OpenDevice', 'sa{sv}', 'h', OPEN_CODE)]
        mock.AddObject(path, BLOCK, properties, methods)
        objects[path].old = block.get('old', False)
        objects[path].answer = block.get('open', {'error': 'org.freedesktop.UDisks2.Error.Failed',
                                                  'message': 'nothing to open'})
        if 'table' in block:
            objects[path].AddProperties(PARTITION, {
                'Number': dbus.UInt32(block.get('number', 1)),
                'Table': dbus.ObjectPath(BLOCKS + object_name(block['table'])),
                'Size': dbus.UInt64(block.get('size', 0)),
            })
        if 'backing_file' in block:
            objects[path].AddProperties(LOOP, {'BackingFile': byte_string(block['backing_file'])})
